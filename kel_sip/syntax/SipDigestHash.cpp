#include "kel_sip/syntax/SipDigestHash.h"

#include <openssl/evp.h>

#include "kel_util/Exception.h"

namespace kel_sip {

namespace {

const EVP_MD* evpOf(SipDigestHashKind kind) {
    switch (kind) {
        case SipDigestHashKind::Sha256: return EVP_sha256();
        case SipDigestHashKind::Sha512_256: return EVP_sha512_256();
        case SipDigestHashKind::Md5: break;
    }
    return EVP_md5();
}

}  // namespace

std::string hashHex(SipDigestHashKind kind, std::string_view data) {
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int hashLength = 0;
    // Only fails when the provider lacks the hash or memory runs out; neither can be answered here.
    if (EVP_Digest(data.data(), data.size(), hash, &hashLength, evpOf(kind), nullptr) != 1) {
        throw kel_util::BaseException("hashHex. digest failed");
    }
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * hashLength);
    for (unsigned int i = 0; i < hashLength; ++i) {
        hex += digits[hash[i] >> 4];
        hex += digits[hash[i] & 0x0f];
    }
    return hex;
}

}  // namespace kel_sip
