// The numbers an INVITE session is known by: its states, the timers it starts through its
// dialog, and the events it reports to its controller, each with its display string.
#pragma once

namespace kel_sip {

enum SipSessionState : int {
    kSessionIdle = 0,
    kSessionInviting = 1,           // INVITE sent
    kSessionInvitingConfirmed = 2,  // 2xx received, ACK not yet sent
    kSessionInvited = 3,            // INVITE received, not answered finally
    kSessionInvitedConfirmed = 4,   // 2xx sent, ACK awaited
    kSessionAcknowledged = 5,       // ACK sent or received
    kSessionReInviting = 6,
    kSessionReInvitingConfirmed = 7,
    kSessionReInvited = 8,
    kSessionReInvitedConfirmed = 9,
};

// Timer names; each timer carries the dialog's ID number.
enum SipSessionTimer : int {
    kTimerInvite = 0,
    kTimerProgress = 1,
    kTimerNoAnswer = 2,
    kTimerFinalResponseRetry = 3,
    kTimerAckWait = 4,
    kTimerCancel = 5,
    kTimerProvResponseRetry = 6,
    kTimerPrAckWait = 7,
    kTimerSessionTimer = 8,
    kTimerSessionRefresh = 9,
    kTimerReInvitePending = 10,
};

enum SipSessionEvent : int {
    kEventInvitingProceeding = 0,
    kEventReInvitingProceeding = 1,
    kEventInvitingConfirmed = 2,
    kEventReInvitingConfirmed = 3,
    kEventInvitingFailed = 4,
    kEventReInvitingFailed = 5,
    kEventInvitingTransactionTimeout = 6,
    kEventReInvitingTransactionTimeout = 7,
    kEventInvitingTransportError = 8,
    kEventReInvitingTransportError = 9,
    kEventInviteResponseTransportError = 10,
    kEventReInviteResponseTransportError = 11,
    kEventPrAckingSucceeded = 12,
    kEventPrAckingFailed = 13,
    kEventPrAckingTransactionTimeout = 14,
    kEventPrAckingTransportError = 15,
    kEventUpdatingSucceeded = 16,
    kEventUpdatingFailed = 17,
    kEventUpdatingTransactionTimeout = 18,
    kEventUpdatingTransportError = 19,
    kEventUpdateResponseTransportError = 20,
    kEventInvited = 21,
    kEventReInvited = 22,
    kEventAcked = 23,
    kEventReAcked = 24,
    kEventReceivedBye = 25,
    kEventCanceled = 26,
    kEventPrAcked = 27,
    kEventUpdated = 28,
    kEventInviteTimeout = 29,
    kEventProgressTimeout = 30,
    kEventNoAnswerTimeout = 31,
    kEventAckWaitingTimeout = 32,
    kEventCancelTimeout = 33,
    kEventPrAckWaitingTimeout = 34,
    kEventSessionTimerExpired = 35,
    kEventSessionRefresh = 36,
    kEventReInvitePendingRetry = 37,
    kEventInfoingSucceeded = 38,
    kEventInfoingFailed = 39,
    kEventInfoingTransactionTimeout = 40,
    kEventInfoingTransportError = 41,
    kEventInfoResponseTransportError = 42,
    kEventInfoed = 43,
    kEventSentInvite = 44,
    kEventSentReInvite = 45,
    kEventSentCancel = 46,
    kEventSentAck = 47,
    kEventSentPrAck = 48,
    kEventSentBye = 49,
    kEventSentUpdate = 50,
    kEventSentInviteProvisionalResponse = 51,
    kEventSentInviteFinalResponse = 52,
    kEventSentReInviteFinalResponse = 53,
    kEventSentInviteErrorResponse = 54,
    kEventSentReInviteErrorResponse = 55,
    kEventSentUpdateFinalResponse = 56,
    kEventSentUpdateErrorResponse = 57,
    kEventSentInfo = 58,
    kEventSentInfoFinalResponse = 59,
    kEventSentInfoErrorResponse = 60,
};

// "Inviting proceeding" ... "Sent INFO error response"; "Unkown event" for any other number.
const char* sessionEventString(int event);
// A session state's name without what an INVITE in progress adds ("Inviting", "Acknowledged");
// "Unkown" for any other value.
const char* sessionStateString(int state);

// The controller's own events: 0 "Received undefined request", 1 "Received undefined
// response", other "Unkown event".
enum SipSessionControllerEvent : int { kControllerUndefinedRequest = 0, kControllerUndefinedResponse = 1 };
const char* sessionControllerEventString(int event);

}  // namespace kel_sip
