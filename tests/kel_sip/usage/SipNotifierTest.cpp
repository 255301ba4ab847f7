// The notifier side of RFC 3265 and RFC 3515 over the fake transaction layer, carried by the
// test host as the session controller will carry it: scripted subscribers send SUBSCRIBE and
// REFER, the test answers and notifies as the user agent does, the manual clock moves the
// grant, and each step checks what went out, the events and the notifier's state.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeTransactionController.h"
#include "NotifierHost.h"
#include "UsageTestMessages.h"
#include "kel_sip/syntax/SipSubscriptionState.h"
#include "kel_util/Clock.h"

namespace kel_sip::test {
namespace {

using namespace std::chrono_literals;

SubscribeAnswer answer(int code, std::int64_t expires = -1, bool userExpire = false) {
    SubscribeAnswer answer;
    answer.statusCode = code;
    answer.expires = expires;
    answer.userExpire = userExpire;
    return answer;
}

class Notification {
public:
    Notification() {
        host.setMinExpires(30);
        host.setDefaultExpires(3600);
    }

    // The subscriber sends method with headers, outside the dialog or inside it.
    void request(const std::string& method, const std::string& headers, bool inDialog = false) {
        const std::string seqNo = std::to_string(++seqNo_);
        auto message = parseMessage(method + " sip:alice@127.0.0.1:5062 SIP/2.0\n"
                                    "Via: SIP/2.0/UDP 10.0.0.2:5080;branch=z9hG4bKs" + seqNo + "\n"
                                    "From: <sip:bob@b.test>;tag=peer1\n"
                                    "To: <sip:alice@a.test>" + (inDialog ? ";tag=" + localTag() : "") + "\n"
                                    "Call-ID: notifier-call\n"
                                    "CSeq: " + seqNo + " " + method + "\n"
                                    "Contact: <sip:bob@10.0.0.2:5080>\n" + headers + "Content-Length: 0\n\n");
        ASSERT_GT(fake.injectRequest(*message), 0);
    }
    void respond(const SubscribeAnswer& answer) { EXPECT_TRUE(host.respondSubscribe(id(), answer)); }
    void notify(int state, std::string_view body = {}, std::string_view type = {}) {
        NotifyContent content;
        content.subscriptionState = state;
        content.body = body;
        content.contentType = type;
        EXPECT_TRUE(host.notify(id(), content));
    }
    // The subscriber answers our last NOTIFY.
    void answerNotify(int code) {
        const std::vector<SentMessage> all = fake.sent();
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            if (it->kind != SentMessage::Request) continue;
            SipMessageExt response = *it->message;
            response.setResponse(code);
            ASSERT_TRUE(fake.injectResponse(it->transactionId, response));
            return;
        }
        ADD_FAILURE() << "no NOTIFY sent";
    }
    void advance(std::chrono::milliseconds step) { ASSERT_TRUE(clock.advance(step)); }
    // Answers the request just sent once the notifier has taken it.
    void settleAndRespond(int code) {
        settle(fake, "SUBSCRIBE");
        respond(answer(code));
    }
    // The dialog of the last event.
    int id() {
        const std::vector<NotifierHost::Event> events = host.events();
        return events.empty() ? 0 : events.back().id;
    }

    kel_util::ManualClock clock;
    FakeTransactionController fake;
    NotifierHost host{fake, clock, "<sip:alice@127.0.0.1:5062>"};

private:
    // Our tag, from the To of the last answer we sent.
    std::string localTag() {
        const std::vector<SentMessage> all = fake.sent();
        for (auto it = all.rbegin(); it != all.rend(); ++it)
            if (!it->message->isRequest && it->message->callId == "notifier-call") return it->message->to.tag;
        return {};
    }
    int seqNo_ = 0;
};

struct Step {
    const char* what;
    std::function<void(Notification&)> act;
    std::vector<std::string> sent;
    std::vector<int> events;  // SipNotifierEvent numbers
    const char* state;        // the notifier's state afterwards; null: not checked
};

const std::string kPresence = "Event: presence;id=a1\n";
constexpr int kActive = SipSubscriptionState::Active;

std::vector<std::vector<Step>> scenarios() {
    return {
        {
            {"SUBSCRIBE below the minimum", [](Notification& n) { n.request("SUBSCRIBE", kPresence + "Expires: 10\n"); },
             {"423 Interval Too Brief Min-Expires=30"}, {}, nullptr},
            {"SUBSCRIBE", [](Notification& n) { n.request("SUBSCRIBE", kPresence + "Expires: 60\n"); }, {},
             {kSubscribed}, "Subscribed"},
            {"answered as asked", [](Notification& n) { n.respond(answer(200)); },
             {"200 OK Expires=60 Event=presence;id=a1"}, {kSentSubscribeResponse}, "Subscribed confirmed"},
            {"NOTIFY 20 s later carries the 40 s left", [](Notification& n) { n.advance(20s); n.notify(kActive); },
             {"NOTIFY Event=presence;id=a1 Subscription-State=active;expires=40"}, {kSentNotify},
             "Subscribed confirmed (active)"},
            {"its 200", [](Notification& n) { n.answerNotify(200); }, {}, {kNotifyConfirmed},
             "Subscribed confirmed (active)"},
            {"refresh naming another package",
             [](Notification& n) { n.request("SUBSCRIBE", "Event: dialog\nExpires: 60\n", true); }, {"489 Bad Event"},
             {}, "Subscribed confirmed (active)"},
            {"refresh naming another id",
             [](Notification& n) { n.request("SUBSCRIBE", "Event: presence;id=b2\nExpires: 60\n", true); },
             {"489 Bad Event"}, {}, "Subscribed confirmed (active)"},
            {"refresh with an unparsable Expires",
             [](Notification& n) { n.request("SUBSCRIBE", kPresence + "Expires: soon\n", true); },
             {"400 Invalid Expires header"}, {}, "Subscribed confirmed (active)"},
            {"refresh", [](Notification& n) { n.request("SUBSCRIBE", kPresence + "Expires: 120\n", true); }, {},
             {kReSubscribed}, "Re-Subscribed (active)"},
            {"granted 30 s, ended by the notifier", [](Notification& n) { n.respond(answer(200, 30, true)); },
             {"200 OK Expires=30 Event=presence;id=a1"}, {kSentSubscribeResponse}, "Subscribed confirmed (active)"},
            {"not before the grant runs out", [](Notification& n) { n.advance(29999ms); }, {}, {},
             "Subscribed confirmed (active)"},
            {"when it runs out", [](Notification& n) { n.advance(1ms); },
             {"NOTIFY Event=presence;id=a1 Subscription-State=terminated;reason=timeout"},
             {kSentNotify, kNotifyExpired}, "gone"},
        },
        {
            {"REFER", [](Notification& n) { n.request("REFER", "Refer-To: <sip:carol@c.test>\n"); }, {}, {kReferred},
             "Subscribed"},
            {"202", [](Notification& n) { n.respond(answer(202)); }, {"202 Accepted Event=refer"},
             {kSentReferResponse}, "Subscribed confirmed"},
            {"NOTIFY with the sipfrag", [](Notification& n) { n.notify(kActive, "SIP/2.0 100 Trying\r\n", "message/sipfrag"); },
             {"NOTIFY Event=refer Subscription-State=active;expires=3600 Content-Type=message/sipfrag"}, {kSentNotify},
             "Subscribed confirmed (active)"},
            {"a second REFER in the dialog",
             [](Notification& n) { n.request("REFER", "Refer-To: <sip:dave@d.test>\n", true); },
             {"491 Request Pending"}, {}, "Subscribed confirmed (active)"},
            {"the NOTIFY refused", [](Notification& n) { n.answerNotify(481); }, {}, {kNotifyFailed}, "gone"},
        },
        {
            {"SUBSCRIBE without Event", [](Notification& n) { n.request("SUBSCRIBE", "Expires: 60\n"); },
             {"489 Bad Event"}, {}, nullptr},
            {"unparsable Event", [](Notification& n) { n.request("SUBSCRIBE", "Event: ;id=1\nExpires: 60\n"); },
             {"400 Invalid Event header"}, {}, nullptr},
            {"unparsable Subscription-State",
             [](Notification& n) { n.request("SUBSCRIBE", kPresence + "Subscription-State: maybe\n"); },
             {"400 Invalid Subscription-State header"}, {}, nullptr},
            {"refused by the user agent", [](Notification& n) { n.request("SUBSCRIBE", kPresence); n.settleAndRespond(403); },
             {"403 Forbidden"}, {kSubscribed, kSentSubscribeErrorResponse}, "gone"},
            {"without Expires: the default", [](Notification& n) { n.request("SUBSCRIBE", kPresence); n.settleAndRespond(200); },
             {"200 OK Expires=3600 Event=presence;id=a1"}, {kSubscribed, kSentSubscribeResponse}, "Subscribed confirmed"},
        },
    };
}

TEST(SipNotifier, ScriptedSubscribersDriveTheNotifierThroughItsStates) {
    int number = 0;
    for (const std::vector<Step>& scenario : scenarios()) {
        ++number;
        Notification n;
        for (const Step& step : scenario) {
            const std::size_t sentBefore = n.fake.sent().size();
            const std::size_t eventsBefore = n.host.events().size();
            step.act(n);
            settle(n.fake, "SUBSCRIBE");
            std::vector<int> events;
            for (const NotifierHost::Event& event : n.host.events()) events.push_back(event.event);
            EXPECT_EQ(std::vector<int>(events.begin() + static_cast<long>(eventsBefore), events.end()), step.events)
                << number << ": " << step.what;
            EXPECT_EQ(sentSince(n.fake, sentBefore), step.sent) << number << ": " << step.what;
            if (step.state != nullptr) {
                EXPECT_EQ(n.host.state(n.id()), step.state) << number << ": " << step.what;
            }
        }
    }
}

}  // namespace
}  // namespace kel_sip::test
