#include "phone/UserAgentEventSort.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/LogCapture.h"

namespace {

// "0,2-5,49" or "7+" (7 and every type above) as a set of types up to kLast, with kHuge for "+".
constexpr int kLast = 70;
constexpr int kHuge = 100000;

std::set<int> typesOf(const std::string& list) {
    std::set<int> types;
    std::istringstream items(list);
    std::string item;
    while (std::getline(items, item, ',')) {
        if (item.back() == '+') {
            const int first = std::stoi(item);
            for (int type = first; type <= kLast; ++type) types.insert(type);
            types.insert(kHuge);
            continue;
        }
        const auto dash = item.find('-');
        const int first = std::stoi(item.substr(0, dash));
        const int last = dash == std::string::npos ? first : std::stoi(item.substr(dash + 1));
        for (int type = first; type <= last; ++type) types.insert(type);
    }
    return types;
}

struct HookCase {
    UserAgentHook hook;
    const char* name;
    int message;
    const char* withMessage;
    const char* withoutMessage;
    const char* dropped;  // quietly; every type in no list is dropped as invalid
    const char* ending;   // the window entry is erased
};

// The event tables of the user agent, each type as the phone needs it.
const HookCase kHooks[] = {
    {UserAgentHook::Session, "onSipSessionEvent", 32869, "0,2-5,12,13,16,17,21-23,27,28,43",
     "1,6-11,14,15,18-20,24-26,29-37,49", "38-42,44-48,50+", ""},
    {UserAgentHook::SessionSubscriber, "onSipSessionSubscriberEvent", 32870, "2,5,11,12,13", "8,9,10,14", "20", ""},
    {UserAgentHook::SessionNotifier, "onSipSessionNotifierEvent", 32873, "1,4", "5-8", "11-13", ""},
    {UserAgentHook::Registrant, "onSipRegistrantEvent", 32871, "0,2,3", "1,4,5,6", "7+", ""},
    {UserAgentHook::SessionDialog, "onSipSessionDialogEvent", 32874, "0,1", "", "", ""},
    {UserAgentHook::Subscriber, "onSipSubscriberEvent", 32870, "0,3,4,11,12,13", "1,6,7,9,10,14,15,16,17", "18-20",
     "3,5,6,7,8,9,10,11,14,16,17"},
    {UserAgentHook::Publisher, "onSipPublisherEvent", 32872, "0,2,3", "1,4,5,6", "7+", "1,2,4,5"},
};

const char* deliveryName(EventDelivery delivery) {
    switch (delivery) {
        case EventDelivery::PostWithMessage: return "post with message";
        case EventDelivery::PostWithoutMessage: return "post without message";
        case EventDelivery::Drop: return "drop";
        case EventDelivery::DropInvalid: return "drop as invalid";
    }
    return "?";
}

TEST(UserAgentEventSortTest, EveryEventTypeOfEveryHookIsPostedWithOrWithoutItsMessageOrDropped) {
    for (const HookCase& hook : kHooks) {
        SCOPED_TRACE(hook.name);
        EXPECT_STREQ(userAgentHookName(hook.hook), hook.name);
        const std::set<int> with = typesOf(hook.withMessage);
        const std::set<int> without = typesOf(hook.withoutMessage);
        const std::set<int> dropped = typesOf(hook.dropped);
        const std::set<int> ending = typesOf(hook.ending);
        std::set<int> types{-1, INT_MIN, kHuge};
        for (int type = 0; type <= kLast; ++type) types.insert(type);
        for (const int type : types) {
            EventDelivery expected = EventDelivery::DropInvalid;
            if (with.contains(type)) expected = EventDelivery::PostWithMessage;
            if (without.contains(type)) expected = EventDelivery::PostWithoutMessage;
            if (dropped.contains(type)) expected = EventDelivery::Drop;
            const EventRoute route = routeUserAgentEvent(hook.hook, type);
            EXPECT_EQ(deliveryName(route.delivery), std::string(deliveryName(expected))) << "type " << type;
            EXPECT_EQ(route.endsEntry, ending.contains(type)) << "type " << type;
            EXPECT_EQ(route.message, hook.message) << "type " << type;
        }
    }
}

TEST(UserAgentEventSortTest, ThePostedRecordOwnsACopyOfTheMessageOnlyWhenTheRouteSaysSo) {
    kel_sip::SipMessageExt message;
    message.setMethod("INFO");
    message.callId = "call-1";
    const EventRoute infoed = routeUserAgentEvent(UserAgentHook::Session, 43);
    std::unique_ptr<UserAgentEventParam> record = makeUserAgentEventParam(infoed, 43, 7, 5, &message);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->type, 43);
    EXPECT_EQ(record->id, 7);
    EXPECT_EQ(record->state, 5);
    ASSERT_TRUE(record->message);
    EXPECT_NE(record->message.get(), &message);
    message.callId = "changed";
    EXPECT_EQ(record->message->callId, "call-1") << "a deep copy, not the stack's message";
    EXPECT_EQ(record->message->getMethodName(), "INFO");

    const EventRoute timedOut = routeUserAgentEvent(UserAgentHook::Subscriber, 17);
    record = makeUserAgentEventParam(timedOut, 17, 3, 2, &message);
    ASSERT_TRUE(record);
    EXPECT_FALSE(record->message);

    EXPECT_FALSE(makeUserAgentEventParam(routeUserAgentEvent(UserAgentHook::Session, 44), 44, 1, 1, &message));
    EXPECT_FALSE(makeUserAgentEventParam(routeUserAgentEvent(UserAgentHook::Subscriber, 2), 2, 1, 1, &message));
}

}  // namespace

namespace {

class ReceivedEvents : public LogicWindow {
public:
    void onMessage(int message, std::unique_ptr<LogicRecord> record) override {
        std::lock_guard guard(mutex_);
        messages.push_back(message);
        records.emplace_back(static_cast<UserAgentEventParam*>(record.release()));
    }
    void onTimer(int) override {}

    std::mutex mutex_;
    std::vector<int> messages;
    std::vector<std::unique_ptr<UserAgentEventParam>> records;
};

TEST(UserAgentEventSortTest, AForwardedEventReachesTheLoopOrIsDroppedWithItsLogLine) {
    tessaly_test::LogCapture log(kel_util::DBG);
    kel_sip::SipMessageExt message;
    message.callId = "call-2";
    ReceivedEvents window;
    LogicLoop loop(window);
    EXPECT_FALSE(forwardUserAgentEvent(nullptr, UserAgentHook::Session, 21, 1, 0, &message)) << "no window yet";
    EXPECT_FALSE(forwardUserAgentEvent(&loop, UserAgentHook::Session, 21, 1, 0, &message)) << "loop not started";

    ASSERT_TRUE(loop.start());
    EXPECT_TRUE(forwardUserAgentEvent(&loop, UserAgentHook::Session, 21, 4, 3, &message));
    EXPECT_TRUE(forwardUserAgentEvent(&loop, UserAgentHook::Subscriber, 17, 9, 2, &message));
    EXPECT_TRUE(forwardUserAgentEvent(&loop, UserAgentHook::Session, 47, 4, 3, &message));
    EXPECT_TRUE(forwardUserAgentEvent(&loop, UserAgentHook::Subscriber, 2, 9, 2, &message));
    ASSERT_TRUE(loop.waitIdle(std::chrono::seconds(10)));
    loop.stop();
    EXPECT_FALSE(forwardUserAgentEvent(&loop, UserAgentHook::Registrant, 0, 5, 1, &message)) << "loop stopped";

    ASSERT_EQ(window.messages, (std::vector<int>{WM_SIP_SESSION_EVENT, WM_SIP_SUBSCRIBER_EVENT}));
    ASSERT_TRUE(window.records[0]->message);
    EXPECT_EQ(window.records[0]->message->callId, "call-2");
    EXPECT_EQ(window.records[0]->id, 4);
    EXPECT_EQ(window.records[0]->state, 3);
    EXPECT_FALSE(window.records[1]->message);
    EXPECT_EQ(window.records[1]->type, 17);

    const std::string text = log.text();
    EXPECT_NE(text.find("UserAgent::onSipSessionEvent. Succeeded PostMessage."), std::string::npos) << text;
    EXPECT_NE(text.find("UserAgent::onSipSubscriberEvent. Invalid Event, type=2."), std::string::npos) << text;
    EXPECT_EQ(text.find("Invalid Event, type=47"), std::string::npos) << "a quiet drop";
}

}  // namespace
