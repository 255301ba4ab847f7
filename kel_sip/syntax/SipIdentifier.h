// Makers of the random protocol identifiers. Each draw is a 32-bit value of the process-wide
// random engine (kel_util::randomUInt32) printed as eight lower-case hexadecimal digits.
// Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace kel_sip {

// A Via branch: the RFC 3261 magic cookie "z9hG4bK" followed by eight hexadecimal digits.
std::string makeBranch();
// A From or To tag: eight hexadecimal digits.
std::string makeTag();
// A Call-ID: three draws as "%08x-%08x-%08x", then "@" and the host when one is given.
std::string makeCallId(std::string_view host = {});

}  // namespace kel_sip
