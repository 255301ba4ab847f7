// What an INVITE session keeps for each INVITE transaction it runs: the calling side's
// InvitingSipSessionData for the INVITE it sent, the answering side's InvitedSipSessionData
// for the INVITE it answers. Both start from a copy of the dialog's addressing.
//
// Threads: owned by a session and touched under its dialog's entry lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kel_sip/syntax/SipMessageExt.h"
#include "kel_sip/syntax/SipVia.h"
#include "kel_sip/usage/SessionTimerParams.h"
#include "kel_sip/usage/SipDialogInfo.h"

namespace kel_sip {

// A request this side sends in the session.
class RequestingSipSessionData : public SipDialogInfo {
public:
    int clientTransactionId = -1;
};

// The INVITE this side sent, until its final response.
class InvitingSipSessionData : public RequestingSipSessionData {
public:
    std::unique_ptr<SipMessageExt> invite;  // kept: CANCEL is built from it
    std::string body;
    std::string contentType;
    std::string provisionalToTag;  // the To tag of the first provisional response
    bool inviteTimer = false;      // the timers this INVITE started, while they run
    bool progressTimer = false;
    bool noAnswerTimer = false;
    bool cancelTimer = false;
    bool canceling = false;    // CANCEL asked for
    bool provisioned = false;  // a 100 or a provisional response came
    bool proceeding = false;   // a provisional response came
    bool prackSent = false;
    int relProcessType = 0;    // 100rel use of this INVITE (RFC 3262)
    std::int64_t lastRSeq = -1;  // -1 = none received; RSeq runs up to 2**32-1
    int progressTimeout = 0;   // seconds; above 0 restarts the Progress timer on each provisional
    SessionTimerValues sessionTimer;  // what the INVITE carried (RFC 4028)
};

// A request this side answers in the session.
class RequestedSipSessionData : public SipDialogInfo {
public:
    int serverTransactionId = -1;
    std::vector<SipVia> vias;  // of the request, for the responses
};

// The INVITE this side answers, until its final response.
class InvitedSipSessionData : public RequestedSipSessionData {
public:
    std::string body;  // what the answer carries
    std::string contentType;
    int peer100rel = 0;      // 0 none, 1 Supported, 2 Require (RFC 3262)
    int relProcessType = 0;
    SessionTimerRequest sessionTimer;  // the peer's session-timer request (RFC 4028)
    std::unique_ptr<SipMessageExt> reliableProvisional;  // kept for retransmission
    int provisionalInterval = 0;                         // its retransmission interval (ms)
    std::int64_t lastRSeqSent = -1;
    bool sentReliable = false;  // a provisional response went out reliably
    bool waitingPrack = false;
    bool proceeding = false;  // a provisional response was sent
};

// The UPDATE this side sent (RFC 3311), until its final response.
class UpdatingSipSessionData : public RequestingSipSessionData {
public:
    std::string body;
    std::string contentType;
    SessionTimerValues sessionTimer;  // what it carried of the session timer (RFC 4028)
};

// A request received in the session that waits for its answer (PRACK, UPDATE, INFO): kept
// whole, so that the answer repeats its Vias, tags and CSeq whenever it is given.
class AnsweredSipSessionData : public RequestedSipSessionData {
public:
    std::unique_ptr<SipMessageExt> request;
};

// The UPDATE received (RFC 3311), until the user agent answers it.
class UpdatedSipSessionData : public AnsweredSipSessionData {
public:
    SessionTimerRequest sessionTimer;  // what it asked of the session timer (RFC 4028)
};

// The INFO received, until the user agent answers it.
class InfoedSipSessionData : public AnsweredSipSessionData {};

}  // namespace kel_sip
