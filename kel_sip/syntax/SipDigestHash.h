// The hashes of digest authentication written as lower-case hexadecimal digits, the form
// digest authentication hashes and compares: MD5 (RFC 1321, RFC 2617 section 3.2.2) and the
// SHA-2 functions RFC 7616 section 6.1 adds.
#pragma once

#include <string>
#include <string_view>

namespace kel_sip {

enum class SipDigestHashKind {
    Md5,        // "MD5": 32 digits
    Sha256,     // "SHA-256": 64 digits
    Sha512_256  // "SHA-512-256": 64 digits
};

// Throws kel_util::BaseException only when the crypto library cannot compute the hash at all.
std::string hashHex(SipDigestHashKind kind, std::string_view data);
inline std::string md5Hex(std::string_view data) { return hashHex(SipDigestHashKind::Md5, data); }

}  // namespace kel_sip
