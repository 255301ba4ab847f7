// The answering side's match of a PRACK received against the reliable provisional response it
// waits to have acknowledged (RFC 3262 section 3).
#pragma once

#include <cstdint>

#include "kel_sip/syntax/HeaderListBase.h"

namespace kel_sip {

enum class PrAckVerdict {
    Matched,     // acknowledges the reliable provisional waiting: stop retransmitting it
    NotWaiting,  // no reliable provisional waits for PRACK
    InvalidRAck, // no RAck, or one that does not parse
    WrongRSeq,   // names a response number this side did not send last
    WrongCSeq,   // names another request than the INVITE
};

// The PRACK's RAck must carry the last RSeq sent and the INVITE's CSeq number and method.
PrAckVerdict matchPrAck(HeaderListBase& prack, bool waitingPrAck, int inviteCSeq, std::int64_t lastRSeqSent);

// The answer to a PRACK: 200 when it matched; 481 otherwise, and the reliable provisional
// keeps being retransmitted.
int prAckAnswerStatus(PrAckVerdict verdict);

}  // namespace kel_sip
