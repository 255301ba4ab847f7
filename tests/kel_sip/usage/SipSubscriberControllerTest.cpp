// The subscriber side of RFC 3265 and RFC 3515 over the fake transaction layer: scripted
// peers answer and notify, the manual clock drives the subscription timers, and each step
// checks what went out, which events were reported and the subscriber's state.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeTransactionController.h"
#include "UsageTestMessages.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/usage/SipSubscriberController.h"
#include "kel_util/Clock.h"

namespace kel_sip::test {
namespace {

using namespace std::chrono_literals;

// The controller with its events recorded.
class RecordingSubscriber : public SipSubscriberController {
public:
    RecordingSubscriber(FakeTransactionController& fake, kel_util::ClockSource& clock)
        : SipSubscriberController(fake, clock) {
        init(1, "host.test", true);
        registerMethods({SipMethod::Notify});
        setUnsubscribeLinger(500);
    }
    ~RecordingSubscriber() override { clean(); }

    void onSipSubscriberEvent(int event, SipSubscriberDialogBase&, const SipMessageExt*) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
    }
    std::vector<int> events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

private:
    std::mutex mutex_;
    std::vector<int> events_;
};

class Subscription {
public:
    // SUBSCRIBE (or REFER) to the peer in a new dialog.
    void subscribe(std::int64_t expires, const char* eventId = "a1", int guardSeconds = 0) {
        SubscriptionOrder order;
        order.event = SipEvent("presence", eventId);
        order.expires = expires;
        id = subscriber.subscribe(start(), order, {nullptr, guardSeconds});
        EXPECT_GT(id, 0);
    }
    void refer() {
        SipReferTo referTo;
        referTo.parse("<sip:carol@c.test>", 18, true);
        id = subscriber.refer(start(), referTo, nullptr, {});
        EXPECT_GT(id, 0);
    }
    // The peer answers the last request we sent.
    void respond(int code, const std::string& headers = {}) {
        const SentMessage request = lastRequest();
        ASSERT_TRUE(request.message);
        auto response = parseMessage("SIP/2.0 " + std::to_string(code) + " Whatever\n"
                                     "Via: SIP/2.0/UDP 127.0.0.1:5062;branch=" + request.message->vias.front().getBranch() + "\n"
                                     "From: <sip:alice@a.test>;tag=" + request.message->from.tag + "\n"
                                     "To: <sip:bob@b.test>;tag=remote1\n"
                                     "Call-ID: " + request.message->callId + "\n"
                                     "CSeq: " + std::to_string(request.message->cseq.getNumber()) + " " +
                                     std::string(request.message->getMethodName()) + "\n"
                                     "Contact: <sip:bob@10.0.0.2:5080>\n" + headers + "Content-Length: 0\n\n");
        ASSERT_TRUE(fake.injectResponse(request.transactionId, *response));
    }
    void timeOut() { ASSERT_TRUE(fake.injectClientTimeout(lastRequest().transactionId)); }
    void transportError() { ASSERT_TRUE(fake.injectRequestTransportError(lastRequest().transactionId)); }
    // The peer notifies in the dialog with these headers.
    void notify(const std::string& headers) { ASSERT_GT(fake.injectRequest(*notifyRequest(headers)), 0); }
    void advance(std::chrono::milliseconds step) { ASSERT_TRUE(clock.advance(step)); }

    void settle() { kel_sip::test::settle(fake, "NOTIFY"); }
    std::vector<int> events() { return subscriber.events(); }
    // The subscriber's state string, "gone" when its dialog has been removed.
    std::string state() {
        std::string text = "gone";
        subscriber.withDialog(id, [&](SipSubscriberDialog& dialog) {
            text = dialog.subscriber() != nullptr ? dialog.subscriber()->stateString() : "none";
            return true;
        });
        return text;
    }

    kel_util::ManualClock clock;
    FakeTransactionController fake;
    RecordingSubscriber subscriber{fake, clock};
    int id = 0;

private:
    static SipDialogStart start() {
        SipDialogStart start;
        start.requestUri.parse("sip:bob@b.test", 14, true);
        start.localParty.parse("<sip:alice@a.test>", 18, true);
        start.remoteParty.parse("<sip:bob@b.test>", 16, true);
        start.localContact.parse("<sip:alice@127.0.0.1:5062>", 26, true);
        return start;
    }
    SentMessage lastRequest() {
        const std::vector<SentMessage> all = fake.sent();
        for (auto it = all.rbegin(); it != all.rend(); ++it)
            if (it->kind == SentMessage::Request) return *it;
        return {};
    }
    std::unique_ptr<SipMessageExt> notifyRequest(const std::string& headers) {
        const SentMessage request = lastRequest();
        EXPECT_TRUE(request.message);
        const std::string seqNo = std::to_string(++notifySeqNo_);
        return parseMessage("NOTIFY sip:alice@127.0.0.1:5062 SIP/2.0\n"
                            "Via: SIP/2.0/UDP 10.0.0.2:5080;branch=z9hG4bKn" + seqNo + "\n"
                            "From: <sip:bob@b.test>;tag=remote1\n"
                            "To: <sip:alice@a.test>;tag=" + request.message->from.tag + "\n"
                            "Call-ID: " + request.message->callId + "\n"
                            "CSeq: " + seqNo + " NOTIFY\n"
                            "Contact: <sip:bob@10.0.0.2:5080>\n" + headers + "Content-Length: 0\n\n");
    }
    int notifySeqNo_ = 0;
};

struct Step {
    const char* what;
    std::function<void(Subscription&)> act;
    std::vector<std::string> sent;  // summaries of what we sent
    std::vector<int> events;        // SipSubscriberEvent numbers reported
    const char* state;              // the subscriber's state afterwards
};

const std::string kPresence = "Event: presence;id=a1\n";

std::vector<std::vector<Step>> scenarios() {
    return {
        {
            {"SUBSCRIBE", [](Subscription& s) { s.subscribe(10); }, {"SUBSCRIBE Expires=10 Event=presence;id=a1"},
             {kSentSubscribe}, "Subscribing"},
            {"2xx without Expires keeps the 10 s asked for", [](Subscription& s) { s.respond(200); }, {},
             {kSubscribeSucceeded}, "Subscribed"},
            {"NOTIFY active without expires", [](Subscription& s) { s.notify(kPresence + "Subscription-State: active\n"); },
             {"200 OK"}, {kNotifiedActive}, "Subscribed (Active)"},
            {"no refresh before half the lifetime", [](Subscription& s) { s.advance(4999ms); }, {}, {},
             "Subscribed (Active)"},
            {"refresh at half the lifetime", [](Subscription& s) { s.advance(1ms); },
             {"SUBSCRIBE Expires=10 Event=presence;id=a1"}, {kSentSubscribe, kSubscriptionRefresh}, "Subscribing"},
            {"2xx with an Expires beyond 32-bit milliseconds", [](Subscription& s) { s.respond(200, "Expires: 4294968\n"); },
             {}, {kSubscribeSucceeded}, "Subscribed (Active)"},
            {"it does not wrap into a refresh at once", [](Subscription& s) { s.advance(10s); }, {}, {},
             "Subscribed (Active)"},
            {"un-SUBSCRIBE", [](Subscription& s) { EXPECT_TRUE(s.subscriber.reSubscribe(s.id, 0)); },
             {"SUBSCRIBE Expires=0 Event=presence;id=a1"}, {kSentUnSubscribe}, "UnSubscribing"},
            {"its 2xx leaves the dialog lingering", [](Subscription& s) { s.respond(200); }, {},
             {kUnsubscribeSucceeded}, "UnSubscribed"},
            {"the final NOTIFY still finds it", [](Subscription& s) { s.notify(kPresence + "Subscription-State: terminated\n"); },
             {"200 OK"}, {kNotifiedTerminate}, "gone"},
        },
        {
            {"SUBSCRIBE", [](Subscription& s) { s.subscribe(3600); }, {"SUBSCRIBE Expires=3600 Event=presence;id=a1"},
             {kSentSubscribe}, "Subscribing"},
            {"NOTIFY before the 2xx", [](Subscription& s) { s.notify(kPresence + "Subscription-State: pending\n"); },
             {"200 OK"}, {kNotifiedPending}, "Subscribing"},
            {"2xx", [](Subscription& s) { s.respond(200, "Expires: 3600\n"); }, {}, {kSubscribeSucceeded},
             "Subscribed (Pending)"},
            {"another id", [](Subscription& s) { s.notify("Event: presence;id=zz\nSubscription-State: active\n"); },
             {"481 Subscription does not exist"}, {}, "Subscribed (Pending)"},
            {"another package", [](Subscription& s) { s.notify("Event: dialog;id=a1\nSubscription-State: active\n"); },
             {"481 Subscription does not exist"}, {}, "Subscribed (Pending)"},
            {"unparsable Event", [](Subscription& s) { s.notify("Event: ;id=a1\nSubscription-State: active\n"); },
             {"400 Invalid Event header"}, {}, "Subscribed (Pending)"},
            {"unparsable Subscription-State", [](Subscription& s) { s.notify(kPresence + "Subscription-State: bogus\n"); },
             {"400 Invalid Subscription-State header"}, {}, "Subscribed (Pending)"},
            {"unparsable Expires",
             [](Subscription& s) { s.notify(kPresence + "Subscription-State: terminated\nExpires: 1x\n"); },
             {"400 Invalid Expires header"}, {}, "Subscribed (Pending)"},
            {"no Subscription-State", [](Subscription& s) { s.notify(kPresence); },
             {"400 Missing Subscription-State header"}, {}, "Subscribed (Pending)"},
            {"active;expires=30 restarts the expiry",
             [](Subscription& s) { s.notify(kPresence + "Subscription-State: active;expires=30\n"); }, {"200 OK"},
             {kNotifiedActive}, "Subscribed (Active)"},
            {"not expired before 30 s", [](Subscription& s) { s.advance(29999ms); }, {}, {}, "Subscribed (Active)"},
            {"expired at 30 s", [](Subscription& s) { s.advance(1ms); }, {}, {kSubscriptionExpired}, "gone"},
            {"a NOTIFY for the removed dialog", [](Subscription& s) { s.notify(kPresence + "Subscription-State: active\n"); },
             {"481 Subscription does not exist"}, {}, "gone"},
        },
        {
            {"un-SUBSCRIBE answered", [](Subscription& s) { s.subscribe(60); s.respond(200); s.settle();
                 EXPECT_TRUE(s.subscriber.reSubscribe(s.id, 0)); s.respond(202); },
             {"SUBSCRIBE Expires=60 Event=presence;id=a1", "SUBSCRIBE Expires=0 Event=presence;id=a1"},
             {kSentSubscribe, kSubscribeSucceeded, kSentUnSubscribe, kUnsubscribeSucceeded}, "UnSubscribed"},
            {"lingers", [](Subscription& s) { s.advance(499ms); }, {}, {}, "UnSubscribed"},
            {"until the linger time ends", [](Subscription& s) { s.advance(1ms); }, {}, {kUnsubscribeTimeout}, "gone"},
        },
        {
            {"refused SUBSCRIBE", [](Subscription& s) { s.subscribe(60); s.respond(489); },
             {"SUBSCRIBE Expires=60 Event=presence;id=a1"}, {kSentSubscribe, kSubscribeFailed}, "gone"},
            {"transaction time-out", [](Subscription& s) { s.subscribe(60); s.timeOut(); },
             {"SUBSCRIBE Expires=60 Event=presence;id=a1"}, {kSentSubscribe, kSubscribeTransactionTimeout}, "gone"},
            {"transport error", [](Subscription& s) { s.subscribe(60); s.transportError(); },
             {"SUBSCRIBE Expires=60 Event=presence;id=a1"}, {kSentSubscribe, kSubscriberRequestTransportError}, "gone"},
            {"guard time-out", [](Subscription& s) { s.subscribe(60, "a1", 2); s.settle(); s.advance(2s); },
             {"SUBSCRIBE Expires=60 Event=presence;id=a1"}, {kSentSubscribe, kSubscribeTimeout}, "gone"},
        },
        {
            {"REFER", [](Subscription& s) { s.refer(); }, {"REFER"}, {kSentRefer}, "Subscribing"},
            {"202", [](Subscription& s) { s.respond(202); }, {}, {kReferSucceeded}, "Subscribed"},
            {"NOTIFY with an id is adopted",
             [](Subscription& s) { s.notify("Event: refer;id=7\nSubscription-State: active;expires=60\n"); },
             {"200 OK"}, {kNotifiedActive}, "Subscribed (Active)"},
            {"another id then", [](Subscription& s) { s.notify("Event: refer;id=8\nSubscription-State: active\n"); },
             {"481 Subscription does not exist"}, {}, "Subscribed (Active)"},
            {"terminated ends it", [](Subscription& s) { s.notify("Event: refer;id=7\nSubscription-State: terminated\n"); },
             {"200 OK"}, {kNotifiedTerminate}, "gone"},
        },
    };
}

TEST(SipSubscriberController, ScriptedPeersDriveTheSubscriptionThroughItsStates) {
    runScenarios<Subscription>(scenarios());
}

}  // namespace
}  // namespace kel_sip::test
