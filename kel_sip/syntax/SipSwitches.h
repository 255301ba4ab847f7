// The process-wide layout and escaping switches of the SIP syntax layer. They are set from
// the settings and read by every parse and print; each is an atomic, so settings may change
// them while workers parse (a message in work sees either value). All start off.
#pragma once

#include <optional>
#include <string_view>

namespace kel_sip {

enum class SipSwitch : int {
    // Layout on output; copied into each message when it is made or cleared.
    Compact,                  // compact header names (RFC 3261 section 7.3.3)
    ViaSeparateLine,          // one Via per line instead of a comma list
    RouteSeparateLine,        // one Route per line
    RecordRouteSeparateLine,  // one Record-Route per line
    SipHeaderOneLine,         // all values of a typed header kind on one line
    // Escaping of URIs on output (RFC 3261 section 19.1.2).
    EscapeRequestURI,
    EscapeRoute,
    EscapeRecordRoute,
    EscapeFrom,
    EscapeTo,
    EscapeContact,
    // Unescaping of URIs on input.
    UnEscapeRequestURI,
    UnEscapeRoute,
    UnEscapeRecordRoute,
    UnEscapeFrom,
    UnEscapeTo,
    UnEscapeContact,
};
inline constexpr int kSipSwitchCount = 17;

bool sipSwitch(SipSwitch which) noexcept;
void setSipSwitch(SipSwitch which, bool on) noexcept;
// Turns every switch off (start-up state).
void resetSipSwitches() noexcept;

// The name used by tools and logs: the lower camel form of the setting ("compact",
// "viaSeparateLine", "escapeRequestURI"); SipHeaderOneLine is "oneLine", as the message flag.
const char* sipSwitchName(SipSwitch which) noexcept;
// A switch by that name or by its setting name ("SipHeaderOneLine"), compared without case.
std::optional<SipSwitch> sipSwitchByName(std::string_view name) noexcept;

}  // namespace kel_sip
