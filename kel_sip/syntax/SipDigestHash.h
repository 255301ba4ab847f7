// MD5 (RFC 1321) written as 32 lower-case hexadecimal digits, the form digest authentication
// (RFC 2617 section 3.2.2) hashes and compares.
#pragma once

#include <string>
#include <string_view>

namespace kel_sip {

// Throws kel_util::BaseException only when the crypto library cannot compute MD5 at all.
std::string md5Hex(std::string_view data);

}  // namespace kel_sip
