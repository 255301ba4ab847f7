#include "kel_sip/usage/PrAckMatch.h"

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipRAck.h"

namespace kel_sip {

PrAckVerdict matchPrAck(HeaderListBase& prack, bool waitingPrAck, int inviteCSeq, std::int64_t lastRSeqSent) {
    if (!waitingPrAck) return PrAckVerdict::NotWaiting;
    SipRAck rack;
    if (!prack.getTypedHeader(SipHeader::RAck, rack)) return PrAckVerdict::InvalidRAck;
    if (rack.getResponseNumber() != lastRSeqSent) return PrAckVerdict::WrongRSeq;
    const SipCSeq& cseq = rack.getCSeq();
    if (cseq.getNumber() != inviteCSeq || cseq.getMethodKind() != SipMethod::Invite) return PrAckVerdict::WrongCSeq;
    return PrAckVerdict::Matched;
}

int prAckAnswerStatus(PrAckVerdict verdict) {
    // RFC 3262 section 3: a PRACK that matches no unacknowledged reliable provisional gets 481.
    return verdict == PrAckVerdict::Matched ? 200 : 481;
}

}  // namespace kel_sip
