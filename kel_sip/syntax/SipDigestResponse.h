// The credentials of Authorization and Proxy-Authorization (RFC 2617 section 3.2.2) for the
// "Digest" scheme, and the computation of the request digest.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "kel_sip/syntax/SipDigestChallenge.h"
#include "kel_sip/syntax/SipParam.h"
#include "kel_sip/syntax/SipURI.h"

namespace kel_sip {

// Everything the request digest covers (RFC 2617 section 3.2.2.1 to 3.2.2.3).
struct SipDigestInput {
    std::string_view username;
    std::string_view password;
    std::string_view method;  // the request method as sent, extension methods included
    std::string_view uri;
    std::string_view realm;
    std::string_view algorithm;  // "MD5", "SHA-256", "SHA-512-256" (without case; another name is MD5);
                                 // a "-sess" variant hashes A1 once more
    std::string_view qop;        // "auth", "auth-int" (without case) or empty
    std::string_view nonce;
    std::uint32_t nonceCount = 0;
    std::string_view cnonce;
    std::string_view body;  // hashed into A2 for "auth-int"
};

class SipDigestResponse : public SipParam {
public:
    bool empty() const override;
    void clear() override { *this = SipDigestResponse(); }
    // Takes username, realm, nonce, uri, response, algorithm, cnonce, opaque, qop and nc
    // (1 to 8 hexadecimal digits); other parameters are ignored. Failures are wrapped in
    // "invalid digest response".
    void parse(const char* data, int length, bool clearFirst) override;
    // "Digest username=..., realm=..., nonce=..., uri=..., response=..., algorithm=...,
    // cnonce=..., opaque=..., qop=..., nc=%08x" with the empty ones (and nc 0) left out;
    // nothing at all when the username is empty.
    void print(std::string& out) const override;

    // Fills every field to answer challenge for a request: a new cnonce when qop options are
    // offered, qop "auth" or "auth-int" chosen from the offered ones (preferAuthInt decides
    // when both are), realm, nonce, opaque and algorithm copied, uri the requestUri as the start line prints it,
    // and the response digest. nonceCount is the caller's count of uses of this nonce.
    // Without an offered qop, qop and cnonce stay empty and the nonce count is 0.
    void authorize(const SipDigestChallenge& challenge, std::string_view username, std::string_view password,
                   std::string_view method, const SipURI& requestUri, std::uint32_t nonceCount, std::string_view body,
                   bool preferAuthInt);

    // The request digest in lower-case hexadecimal digits, with the hash the algorithm names:
    // H(H(A1) ":" nonce ":" nc ":" cnonce ":" qop ":" H(A2)) with qop "auth" or "auth-int",
    // else H(H(A1) ":" nonce ":" H(A2)); nc is written "%08x".
    static std::string digest(const SipDigestInput& input);
    // Whether digest hashes with the algorithm of that name: none, MD5, SHA-256 or
    // SHA-512-256, each also as "-sess" (RFC 7616 section 6.1). Other names are hashed with
    // MD5, which the server can only refuse.
    static bool computesAlgorithm(std::string_view name);

    std::string username;
    std::string realm;
    std::string nonce;
    std::string uri;
    std::string response;
    std::string algorithm;
    std::string cnonce;
    std::string opaque;
    std::string qop;
    std::uint32_t nonceCount = 0;  // 0: none

private:
    void take(std::string_view name, std::string_view value);
};

}  // namespace kel_sip
