#include "kel_sip/syntax/SipMethod.h"

#include <array>

#include "kel_util/HeaderField.h"

namespace kel_sip::SipMethod {
namespace {

constexpr std::array<std::string_view, Count> names = {
    "INVITE", "ACK", "OPTIONS", "BYE", "CANCEL", "REGISTER", "INFO",
    "REFER", "UPDATE", "PRACK", "SUBSCRIBE", "NOTIFY", "MESSAGE", "PUBLISH",
};

}  // namespace

int kindOf(std::string_view name) noexcept {
    for (int kind = 0; kind < Count; ++kind) {
        if (kel_util::equalsIgnoreCase(names[kind], name)) return kind;
    }
    return Other;
}

std::string_view nameOf(int kind) noexcept { return kind >= 0 && kind < Count ? names[kind] : std::string_view(); }

}  // namespace kel_sip::SipMethod
