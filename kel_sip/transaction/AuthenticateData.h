// Digest credentials (RFC 2617, RFC 3261 section 22) that a dialog, a registrant or a
// publisher carries: the user name and password, the last challenge of each kind and how often
// each challenge's nonce has been used. The caller's authentication parameters are an
// AuthenticateData too; a usage copies them (challenges included) when it is created.
//
// Threads: not shared; each owner uses its copy under its own lock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "kel_sip/syntax/SipDigestChallenge.h"
#include "kel_sip/syntax/SipMessage.h"

namespace kel_sip {

class AuthenticateData {
public:
    // One kind of challenge: WWW-Authenticate (401) or Proxy-Authenticate (407).
    struct Challenge {
        std::optional<SipDigestChallenge> challenge;
        // Requests sent with the challenge's nonce (the nc of RFC 2617 section 3.2.2).
        std::uint32_t nonceCount = 0;
        // Challenges of this kind captured so far.
        int retryCount = 0;
    };

    AuthenticateData() = default;
    AuthenticateData(std::string username, std::string password, bool useAuthInt = false)
        : username(std::move(username)), password(std::move(password)), useAuthInt(useAuthInt) {}

    // Credentials are only added when there is a user name or a password.
    bool isUsable() const { return !username.empty() || !password.empty(); }

    // Takes the challenge of a 401 (WWW-Authenticate) or 407 (Proxy-Authenticate) response
    // and counts the retry. Of several challenges the first whose algorithm can be computed
    // (MD5, MD5-sess) is taken, else the first that parses. The nonce count restarts only for
    // a new nonce: a server that challenges again with the nonce it gave before would take a
    // repeated nc for a replay (RFC 2617 section 3.2.2). A missing, empty or unparsable header, or another status,
    // clears that challenge and returns false.
    bool captureChallenge(const SipMessage& response);

    // Adds Authorization for the WWW-Authenticate challenge and Proxy-Authorization for the
    // Proxy-Authenticate challenge held (both when both are held), each computed over the
    // request's method, Request-URI and body with the next nonce count. Nothing when not usable.
    void addCredentials(SipMessage& request);

    std::string username;
    std::string password;
    Challenge www;
    Challenge proxy;
    // Prefer qop "auth-int" when a challenge offers both (setting AuthDigestUseAuthInt).
    bool useAuthInt = false;
};

}  // namespace kel_sip
