#include "phone/UserAgentEventSort.h"

#include <algorithm>
#include <climits>
#include <span>

#include "kel_util/Log.h"

namespace {

constexpr auto With = EventDelivery::PostWithMessage;
constexpr auto Without = EventDelivery::PostWithoutMessage;
constexpr auto Drop = EventDelivery::Drop;

struct TypeRange {
    int first;
    int last;
    EventDelivery delivery;
};

// Types outside every range are dropped as invalid.
struct HookTable {
    const char* name;
    int message;
    std::span<const TypeRange> ranges;
    std::span<const int> ending;
};

// Session events (the numbers of the session usage). An INFO received in a call (43) goes to
// the window with its message: the phone answers it; the other INFO events and the reports
// of what this side sent stay here.
constexpr TypeRange kSession[] = {
    {0, 0, With},       {1, 1, Without},   {2, 5, With},      {6, 11, Without}, {12, 13, With},
    {14, 15, Without},  {16, 17, With},    {18, 20, Without}, {21, 23, With},   {24, 26, Without},
    {27, 28, With},     {29, 37, Without}, {38, 42, Drop},    {43, 43, With},   {44, 48, Drop},
    {49, 49, Without},  {50, INT_MAX, Drop},
};
constexpr TypeRange kSessionSubscriber[] = {
    {2, 2, With}, {5, 5, With}, {8, 10, Without}, {11, 13, With}, {14, 14, Without}, {20, 20, Drop},
};
constexpr TypeRange kSessionNotifier[] = {{1, 1, With}, {4, 4, With}, {5, 8, Without}, {11, 13, Drop}};
constexpr TypeRange kRegistrant[] = {{0, 0, With}, {1, 1, Without}, {2, 3, With}, {4, 6, Without}, {7, INT_MAX, Drop}};
constexpr TypeRange kSessionDialog[] = {{0, 1, With}};
// A subscription that times out waiting for its first NOTIFY (17) is reported and forgotten
// like every other subscription that ends.
constexpr TypeRange kSubscriber[] = {
    {0, 0, With},     {1, 1, Without},   {3, 4, With}, {6, 7, Without},
    {9, 10, Without}, {11, 13, With},    {14, 17, Without}, {18, 20, Drop},
};
constexpr int kSubscriberEnding[] = {3, 5, 6, 7, 8, 9, 10, 11, 14, 16, 17};
constexpr TypeRange kPublisher[] = {{0, 0, With}, {1, 1, Without}, {2, 3, With}, {4, 6, Without}, {7, INT_MAX, Drop}};
constexpr int kPublisherEnding[] = {1, 2, 4, 5};

const HookTable& tableOf(UserAgentHook hook) {
    static const HookTable kSessionTable{"onSipSessionEvent", WM_SIP_SESSION_EVENT, kSession, {}};
    static const HookTable kSessionSubscriberTable{"onSipSessionSubscriberEvent", WM_SIP_SUBSCRIBER_EVENT,
                                                   kSessionSubscriber, {}};
    static const HookTable kSessionNotifierTable{"onSipSessionNotifierEvent", WM_SIP_NOTIFIER_EVENT,
                                                 kSessionNotifier, {}};
    static const HookTable kRegistrantTable{"onSipRegistrantEvent", WM_SIP_REGISTRANT_EVENT, kRegistrant, {}};
    static const HookTable kSessionDialogTable{"onSipSessionDialogEvent", WM_SIP_SESSION_DIALOG_EVENT,
                                               kSessionDialog, {}};
    static const HookTable kSubscriberTable{"onSipSubscriberEvent", WM_SIP_SUBSCRIBER_EVENT, kSubscriber,
                                            kSubscriberEnding};
    static const HookTable kPublisherTable{"onSipPublisherEvent", WM_SIP_PUBLISHER_EVENT, kPublisher,
                                           kPublisherEnding};
    switch (hook) {
        case UserAgentHook::Session: return kSessionTable;
        case UserAgentHook::SessionSubscriber: return kSessionSubscriberTable;
        case UserAgentHook::SessionNotifier: return kSessionNotifierTable;
        case UserAgentHook::Registrant: return kRegistrantTable;
        case UserAgentHook::SessionDialog: return kSessionDialogTable;
        case UserAgentHook::Subscriber: return kSubscriberTable;
        case UserAgentHook::Publisher: return kPublisherTable;
    }
    return kSessionTable;
}

EventDelivery deliveryOf(const HookTable& table, int type) {
    for (const TypeRange& range : table.ranges) {
        if (type >= range.first && type <= range.last) return range.delivery;
    }
    return EventDelivery::DropInvalid;
}

}  // namespace

EventRoute routeUserAgentEvent(UserAgentHook hook, int type) {
    const HookTable& table = tableOf(hook);
    const bool ends = std::find(table.ending.begin(), table.ending.end(), type) != table.ending.end();
    return EventRoute{deliveryOf(table, type), ends, table.message};
}

const char* userAgentHookName(UserAgentHook hook) { return tableOf(hook).name; }

std::unique_ptr<UserAgentEventParam> makeUserAgentEventParam(const EventRoute& route, int type, int id, int state,
                                                             const kel_sip::SipMessageExt* message) {
    if (route.delivery == EventDelivery::Drop || route.delivery == EventDelivery::DropInvalid) return nullptr;
    std::unique_ptr<kel_sip::SipMessageExt> copy;
    if (route.delivery == EventDelivery::PostWithMessage && message) {
        copy = std::make_unique<kel_sip::SipMessageExt>(*message);
    }
    return std::make_unique<UserAgentEventParam>(type, id, state, std::move(copy));
}

bool forwardUserAgentEvent(LogicLoop* window, UserAgentHook hook, int type, int id, int state,
                           const kel_sip::SipMessageExt* message, std::string localTag) {
    if (!window || !window->isAccepting()) return false;
    const EventRoute route = routeUserAgentEvent(hook, type);
    if (route.delivery == EventDelivery::DropInvalid) {
        kel_util::logPrint(kel_util::MIN, "UserAgent::%s. Invalid Event, type=%d.\n", userAgentHookName(hook), type);
    }
    std::unique_ptr<UserAgentEventParam> record = makeUserAgentEventParam(route, type, id, state, message);
    if (!record) return true;
    record->localTag = std::move(localTag);
    return postUserAgentEvent(*window, hook, route, std::move(record));
}

bool postUserAgentEvent(LogicLoop& window, UserAgentHook hook, const EventRoute& route,
                        std::unique_ptr<UserAgentEventParam> record) {
    if (!window.post(route.message, std::move(record))) {
        kel_util::logPrint(kel_util::MIN, "UserAgent::%s. Failed PostMessage.\n", userAgentHookName(hook));
        return false;
    }
    kel_util::logPrint(kel_util::DBG, "UserAgent::%s. Succeeded PostMessage.\n", userAgentHookName(hook));
    return true;
}
