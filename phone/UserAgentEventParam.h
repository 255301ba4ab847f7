// The record the user agent posts to the logic loop for every stack event it passes on, and
// the message numbers it posts them under (the window-message numbers of the phone, kept so
// that logs and captures read the same as before).
#pragma once

#include <memory>
#include <string>

#include "kel_sip/syntax/SipMessageExt.h"
#include "phone/LogicLoop.h"

constexpr int WM_APP = 0x8000;
constexpr int WM_SIP_SESSION_EVENT = WM_APP + 101;
constexpr int WM_SIP_SUBSCRIBER_EVENT = WM_APP + 102;
constexpr int WM_SIP_REGISTRANT_EVENT = WM_APP + 103;
constexpr int WM_SIP_PUBLISHER_EVENT = WM_APP + 104;
constexpr int WM_SIP_NOTIFIER_EVENT = WM_APP + 105;
constexpr int WM_SIP_SESSION_DIALOG_EVENT = WM_APP + 106;

struct UserAgentEventParam : LogicRecord {
    UserAgentEventParam(int type, int id, int state, std::unique_ptr<kel_sip::SipMessageExt> message)
        : type(type), id(id), state(state), message(std::move(message)) {}

    int type;   // the event type of the reporting usage
    int id;     // the dialog, registrant, subscription or publication that reports
    int state;  // its state at the event (for in-call notifier events the notifier's kind)
    std::unique_ptr<kel_sip::SipMessageExt> message;  // a copy of the cause; null for events without one
    // For "Invited": the tag the new dialog chose for itself, the To tag of our answers; the
    // received INVITE has none yet. Empty for every other event.
    std::string localTag;
};
