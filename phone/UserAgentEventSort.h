// Which stack events the user agent passes on to the logic loop, and how: the decision each
// of its event hooks takes before posting, kept apart from the hooks so that it is one table.
//
// An event is posted with a copy of the message that caused it, posted without one, dropped
// quietly (the events that only report that this side sent something), or dropped as invalid
// (types the hook never expects; the hook logs its "Invalid Event" line). The subscriber and
// publisher hooks also forget the window of a subscription or publication whose event ends it,
// so that a finished one leaves nothing behind in their maps.
#pragma once

#include <memory>
#include <string>

#include "phone/UserAgentEventParam.h"

enum class UserAgentHook {
    Session,            // onSipSessionEvent
    SessionSubscriber,  // onSipSessionSubscriberEvent: a REFER sent inside a call
    SessionNotifier,    // onSipSessionNotifierEvent: a REFER received inside a call
    Registrant,         // onSipRegistrantEvent
    SessionDialog,      // onSipSessionDialogEvent
    Subscriber,         // onSipSubscriberEvent
    Publisher,          // onSipPublisherEvent
};

enum class EventDelivery { PostWithMessage, PostWithoutMessage, Drop, DropInvalid };

struct EventRoute {
    EventDelivery delivery;
    bool endsEntry;  // the subscription or publication is over: erase its window
    int message;     // the WM_SIP_* number it is posted under
};

EventRoute routeUserAgentEvent(UserAgentHook hook, int type);

// The hook's name as its log lines give it ("onSipSessionEvent").
const char* userAgentHookName(UserAgentHook hook);

// The record to post for an event routed as route: with a copy of message when the route
// posts with the message and there is one; null when the route drops the event.
std::unique_ptr<UserAgentEventParam> makeUserAgentEventParam(const EventRoute& route, int type, int id, int state,
                                                             const kel_sip::SipMessageExt* message);

// The common end of every hook, on the usage's worker thread: sorts the event and posts its
// record to window, logging the outcome under the hook's name. false (nothing posted) when
// there is no window or it does not run, or when the post fails; true when posted or
// dropped. Erasing a finished subscription's or publication's window is the caller's part.
// localTag goes into the record's field of that name.
bool forwardUserAgentEvent(LogicLoop* window, UserAgentHook hook, int type, int id, int state,
                           const kel_sip::SipMessageExt* message, std::string localTag = {});

// The post at the end of forwardUserAgentEvent, for a record made earlier (an event held
// until its window was known): logs the outcome under the hook's name; false when refused.
bool postUserAgentEvent(LogicLoop& window, UserAgentHook hook, const EventRoute& route,
                        std::unique_ptr<UserAgentEventParam> record);
