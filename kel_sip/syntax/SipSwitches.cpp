#include "kel_sip/syntax/SipSwitches.h"

#include <array>
#include <atomic>

#include "kel_util/HeaderField.h"

namespace kel_sip {
namespace {

std::array<std::atomic<bool>, kSipSwitchCount> switches{};

struct Names {
    const char* name;
    const char* settingName;
};

constexpr std::array<Names, kSipSwitchCount> kNames = {{
    {"compact", "Compact"},
    {"viaSeparateLine", "ViaSeparateLine"},
    {"routeSeparateLine", "RouteSeparateLine"},
    {"recordRouteSeparateLine", "RecordRouteSeparateLine"},
    {"oneLine", "SipHeaderOneLine"},
    {"escapeRequestURI", "EscapeRequestURI"},
    {"escapeRoute", "EscapeRoute"},
    {"escapeRecordRoute", "EscapeRecordRoute"},
    {"escapeFrom", "EscapeFrom"},
    {"escapeTo", "EscapeTo"},
    {"escapeContact", "EscapeContact"},
    {"unEscapeRequestURI", "UnEscapeRequestURI"},
    {"unEscapeRoute", "UnEscapeRoute"},
    {"unEscapeRecordRoute", "UnEscapeRecordRoute"},
    {"unEscapeFrom", "UnEscapeFrom"},
    {"unEscapeTo", "UnEscapeTo"},
    {"unEscapeContact", "UnEscapeContact"},
}};

}  // namespace

bool sipSwitch(SipSwitch which) noexcept {
    return switches[static_cast<int>(which)].load(std::memory_order_relaxed);
}

void setSipSwitch(SipSwitch which, bool on) noexcept {
    switches[static_cast<int>(which)].store(on, std::memory_order_relaxed);
}

void resetSipSwitches() noexcept {
    for (auto& value : switches) value.store(false, std::memory_order_relaxed);
}

const char* sipSwitchName(SipSwitch which) noexcept {
    return kNames[static_cast<int>(which)].name;
}

std::optional<SipSwitch> sipSwitchByName(std::string_view name) noexcept {
    for (int i = 0; i < kSipSwitchCount; ++i) {
        if (kel_util::equalsIgnoreCase(name, kNames[i].name) || kel_util::equalsIgnoreCase(name, kNames[i].settingName)) {
            return static_cast<SipSwitch>(i);
        }
    }
    return std::nullopt;
}

}  // namespace kel_sip
