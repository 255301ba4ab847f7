#include "kel_sip/transaction/AuthenticateData.h"

#include "kel_sip/syntax/SipDigestResponse.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipParseException.h"
#include "kel_util/HeaderField.h"
#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::DBG;
using kel_util::logPrint;
using kel_util::MIN;

namespace {

// The challenge of one kind and the headers it is read from and answered in.
struct ChallengeKind {
    AuthenticateData::Challenge AuthenticateData::*slot;
    int challengeHeader;
    int credentialsHeader;
};

constexpr ChallengeKind kWww{&AuthenticateData::www, SipHeader::WwwAuthenticate, SipHeader::Authorization};
constexpr ChallengeKind kProxy{&AuthenticateData::proxy, SipHeader::ProxyAuthenticate, SipHeader::ProxyAuthorization};

// Parses the values of kind into challenge: the first Digest challenge whose algorithm this
// side computes, for a server offers one challenge per algorithm, its preferred (say SHA-256,
// RFC 8760 section 2.4) first; else the first one that parses. False when none parses.
bool parseChallenge(const SipMessage& message, int kind, SipDigestChallenge& challenge) {
    const kel_util::RFC822ValueList* values = message.typedHeaders.find(kind);
    if (values == nullptr) return false;
    bool parsedOne = false;
    for (const std::string& raw : values->getValues()) {
        SipDigestChallenge candidate;
        try {
            candidate.parse(raw.data(), static_cast<int>(raw.size()), true);
        } catch (const SipParseException& error) {
            logPrint(MIN, "AuthenticateData::captureChallenge. SipParseException: [%s].\n", error.toString().c_str());
            continue;
        }
        if (candidate.empty()) continue;
        if (SipDigestResponse::computesAlgorithm(candidate.algorithm)) {
            challenge = std::move(candidate);
            return true;
        }
        if (!parsedOne) challenge = std::move(candidate);
        parsedOne = true;
    }
    return parsedOne;
}

}  // namespace

bool AuthenticateData::captureChallenge(const SipMessage& response) {
    const ChallengeKind* kind = response.statusCode == 401 ? &kWww : response.statusCode == 407 ? &kProxy : nullptr;
    if (kind == nullptr) {
        logPrint(MIN, "AuthenticateData::captureChallenge. Invalid StatusCode=%d.\n", response.statusCode);
        return false;
    }
    Challenge& held = this->*kind->slot;
    ++held.retryCount;
    SipDigestChallenge parsed;
    if (!parseChallenge(response, kind->challengeHeader, parsed)) {
        logPrint(MIN, "AuthenticateData::captureChallenge. No valid challenge, StatusCode=%d.\n", response.statusCode);
        held.challenge.reset();
        held.nonceCount = 0;
        return false;
    }
    if (!held.challenge || held.challenge->nonce != parsed.nonce) held.nonceCount = 0;
    held.challenge = std::move(parsed);
    logPrint(DBG, "AuthenticateData::captureChallenge. Captured challenge, StatusCode=%d, RetryCount=%d.\n",
             response.statusCode, held.retryCount);
    return true;
}

void AuthenticateData::addCredentials(SipMessage& request) {
    if (!isUsable()) return;
    for (const ChallengeKind* kind : {&kWww, &kProxy}) {
        Challenge& held = this->*kind->slot;
        if (!held.challenge) continue;
        ++held.nonceCount;
        SipDigestResponse credentials;
        credentials.authorize(*held.challenge, username, password, request.getMethodName(), request.requestUri,
                              held.nonceCount, request.body.view(), useAuthInt);
        request.addTypedHeader(kind->credentialsHeader, credentials);
    }
}

}  // namespace kel_sip
