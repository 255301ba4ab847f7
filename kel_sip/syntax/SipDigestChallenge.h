// The challenge of WWW-Authenticate and Proxy-Authenticate (RFC 2617 section 3.2.1) for the
// "Digest" scheme.
#pragma once

#include <string>
#include <vector>

#include "kel_sip/syntax/SipParam.h"

namespace kel_sip {

class SipDigestChallenge : public SipParam {
public:
    bool empty() const override;
    void clear() override { *this = SipDigestChallenge(); }
    // Takes realm, domain, nonce, opaque, stale ("true" without case sets it), algorithm and
    // qop (split at ",", LWS around each option dropped, empty ones skipped); other
    // parameters are ignored. Failures are wrapped in "invalid digest challenge".
    void parse(const char* data, int length, bool clearFirst) override;
    // "Digest realm=..., domain=..., nonce=..., opaque=..., stale=true, algorithm=...,
    // qop=..." with the empty ones left out; nothing at all when the realm is empty.
    void print(std::string& out) const override;

    std::string realm;
    std::string domain;
    std::string nonce;
    std::string opaque;
    bool stale = false;
    std::string algorithm;
    // In the order received.
    std::vector<std::string> qopOptions;

private:
    void take(std::string_view name, std::string_view value);
};

}  // namespace kel_sip
