#include "kel_sip/usage/ReliableProvisionalRules.h"

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipIntField.h"
#include "kel_sip/usage/ExtensionProcessType.h"
#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::logPrint;
using kel_util::MIN;

namespace {

constexpr const char* k100relTag = "100rel";

}  // namespace

int ReliableProvisionalRules::peerUse(const HeaderListBase& request) {
    return extensionUse(request, k100relTag);
}

bool ReliableProvisionalRules::refusesRequired(int peerUse) const {
    return peerUse == 2 && settings_.process100rel && typeFor(std::nullopt) == 0;
}

int ReliableProvisionalRules::typeFor(std::optional<int> givenType) const {
    return knownProcessType(givenType.value_or(settings_.processType));
}

int ReliableProvisionalRules::addOfferHeaders(std::optional<int> givenType, HeaderListBase& invite) const {
    const int type = typeFor(givenType);
    if (type == 2) invite.addOptionTag(SipHeader::Require, k100relTag);
    if (type != 0) invite.addOptionTag(SipHeader::Supported, k100relTag);
    return type;
}

bool ReliableProvisionalRules::isReliable(std::optional<int> givenType, int peerUse) const {
    if (!settings_.process100rel) return givenType == 2;
    const int type = typeFor(givenType);
    return type != 0 && (peerUse == 2 || (peerUse == 1 && type == 2));
}

std::int64_t ReliableProvisionalRules::addReliableHeaders(RSeqCounter& counter, HeaderListBase& response) const {
    response.addOptionTag(SipHeader::Require, k100relTag);
    if (!settings_.process100rel && !settings_.alwaysRSeq) return -1;
    const std::int64_t rseq = counter.next();
    response.addTypedHeader(SipHeader::RSeq, SipIntField(rseq));
    return rseq;
}

ReceivedProvisional ReliableProvisionalRules::checkProvisional(int inviteType, HeaderListBase& response,
                                                               std::int64_t lastRSeq) const {
    ReceivedProvisional received;
    if (!settings_.process100rel || (inviteType != 1 && inviteType != 2)) return received;
    if (!response.hasOptionTag(SipHeader::Require, k100relTag)) return received;
    SipIntField rseq;
    if (!response.getTypedHeader(SipHeader::RSeq, rseq)) {
        if (response.hasHeader(SipHeader::RSeq)) {
            logPrint(MIN, "SipSession::onReceiveResponseInviteProvisional. Invalid RSeq, handled as unreliable.\n");
        }
        return received;
    }
    received.rseq = rseq.getValue();
    const bool accepted = checkRSeqNumber(lastRSeq, received.rseq, settings_.skipChecks);
    received.verdict = accepted ? ReceivedProvisional::Accepted : ReceivedProvisional::Refused;
    return received;
}

bool ReliableProvisionalRules::checkRSeqNumber(std::int64_t lastRSeq, std::int64_t rseq, bool skipChecks) {
    if (lastRSeq < 0 || skipChecks || rseq == lastRSeq + 1) return true;
    const char* what = rseq == lastRSeq ? "same" : rseq < lastRSeq ? "lower" : "higher";
    logPrint(MIN, "SipSession::checkRSeqNumber. Detected %s RSeq, LastRSeq=%lld, RSeq=%lld.\n", what,
             static_cast<long long>(lastRSeq), static_cast<long long>(rseq));
    return false;
}

}  // namespace kel_sip
