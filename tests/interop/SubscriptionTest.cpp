// Subscriptions against SIPp over UDP (RFC 3265, RFC 3515). As subscriber, SIPp notifies
// and SIPp's scenario checks our answers and requests while the test measures when our
// refresh and expiry come; as notifier (carried by the usage tests' host, the test playing
// the user agent), SIPp subscribes and refers and checks our answers and NOTIFY requests.
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "NotifierHost.h"
#include "ProgramSupport.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipSubscriptionState.h"
#include "kel_sip/transaction/SipTransactionControllerImpl.h"
#include "kel_sip/transport/SipUDPTransport.h"
#include "kel_sip/usage/SipSubscriberController.h"

namespace kel_sip::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The subscriber controller with the instant of each event it reports.
class TimedSubscriber : public SipSubscriberController {
public:
    TimedSubscriber(SipTransactionController& controller, bool autoRefresh) : SipSubscriberController(controller) {
        init(1, "127.0.0.1", autoRefresh);
        registerMethods({SipMethod::Notify});
        setUnsubscribeLinger(2000);
    }
    ~TimedSubscriber() override { clean(); }

    void onSipSubscriberEvent(int event, SipSubscriberDialogBase&, const SipMessageExt*) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back({event, Clock::now()});
        changed_.notify_all();
    }
    // The instant of the index-th report of event (counting from 0), or none after limit.
    std::optional<Clock::time_point> waitFor(int event, int index, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        std::optional<Clock::time_point> found;
        changed_.wait_for(lock, limit, [&] {
            int seen = 0;
            for (const auto& [number, at] : events_)
                if (number == event && seen++ == index) found = at;
            return found.has_value();
        });
        return found;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::pair<int, Clock::time_point>> events_;
};

// A UDP stack on 127.0.0.1 and SIPp running one scenario against it.
class SippPeer {
public:
    SippPeer(const std::string& scenario, bool sippCalls) : dir_(tessaly_interop::freshDirectory("sub-" + scenario)) {
        controller.setTimers(100, 400, 500, 500);
        EXPECT_TRUE(controller.init(2));
        EXPECT_TRUE(transport.open("127.0.0.1", 0, "127.0.0.1", AF_INET, false));
        EXPECT_TRUE(controller.addUDPTransport(&transport));
        localPort = transport.getLocalAddress().getPort();
        sippPort = tessaly_interop::freeUdpPort();
        std::vector<std::string> args = tessaly_interop::sippArguments(
            TESSALY_SIPP, std::string(TESSALY_INTEROP_DIR) + "/" + scenario + ".xml", sippPort, dir_);
        if (sippCalls) args.push_back("127.0.0.1:" + std::to_string(localPort));
        sipp_ = std::make_unique<tessaly_interop::ChildProcess>(args, dir_ / "sipp.out");
        EXPECT_TRUE(sipp_->started());
    }
    ~SippPeer() {
        transport.close();
        controller.clean();
    }
    // SIPp's exit status 0 tells that the scenario saw what it expects.
    void expectScenarioPassed() {
        const int status = sipp_->waitExit(20s);
        EXPECT_EQ(status, 0) << tessaly_interop::readText(dir_ / "errors.log")
                             << tessaly_interop::readText(dir_ / "messages.log");
        if (!::testing::Test::HasFailure()) fs::remove_all(dir_);
    }
    std::string local(const char* user) const { return "<sip:" + std::string(user) + "@127.0.0.1:" + std::to_string(localPort) + ">"; }

    SipTransactionControllerImpl controller{nullptr};
    SipUDPTransport transport{controller, 0};
    int localPort = 0;
    int sippPort = 0;

private:
    fs::path dir_;
    std::unique_ptr<tessaly_interop::ChildProcess> sipp_;
};

SipDialogStart startTo(const SippPeer& peer) {
    SipDialogStart start;
    const std::string target = "sip:bob@127.0.0.1:" + std::to_string(peer.sippPort);
    start.requestUri.parse(target.data(), static_cast<int>(target.size()), true);
    start.localParty.parse("<sip:alice@127.0.0.1>", 21, true);
    start.remoteParty.parse(target.data(), static_cast<int>(target.size()), true);
    const std::string contact = peer.local("alice");
    start.localContact.parse(contact.data(), static_cast<int>(contact.size()), true);
    return start;
}

int subscribe(TimedSubscriber& subscriber, const SippPeer& peer, std::int64_t expires) {
    SubscriptionOrder order;
    order.event = SipEvent("presence", "a1");
    order.expires = expires;
    return subscriber.subscribe(startTo(peer), order);
}

std::chrono::milliseconds between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from);
}

TEST(Subscription, SubscriberRefreshesAtHalfTheLifetimeAndUnsubscribesThroughTheLinger) {
    SippPeer peer("subscriber_refresh_unsubscribe", false);
    TimedSubscriber subscriber(peer.controller, true);
    const int id = subscribe(subscriber, peer, 2);
    ASSERT_GT(id, 0);
    const auto granted = subscriber.waitFor(kSubscribeSucceeded, 0, 10s);
    ASSERT_TRUE(granted);
    // The NOTIFY of another id was answered 481 (SIPp checks) and changed nothing: the
    // refresh leaves 1 s after the 200 granted 2 s.
    const auto refreshed = subscriber.waitFor(kSubscriptionRefresh, 0, 5s);
    ASSERT_TRUE(refreshed);
    EXPECT_GE(between(*granted, *refreshed), 990ms);
    EXPECT_LE(between(*granted, *refreshed), 1500ms);
    ASSERT_TRUE(subscriber.waitFor(kSubscribeSucceeded, 1, 5s));
    ASSERT_TRUE(subscriber.reSubscribe(id, 0));
    // The final NOTIFY comes after the 200 to the un-SUBSCRIBE and still finds the dialog.
    ASSERT_TRUE(subscriber.waitFor(kUnsubscribeSucceeded, 0, 5s));
    ASSERT_TRUE(subscriber.waitFor(kNotifiedTerminate, 0, 5s));
    peer.expectScenarioPassed();
    EXPECT_FALSE(subscriber.withDialog(id, [](SipSubscriberDialog&) { return true; }));
}

// Waits for the expiry of a subscription granted 1 s that SIPp notifies once; the interval
// from the NOTIFY to the expiry.
std::chrono::milliseconds notifiedToExpiry(const std::string& scenario) {
    SippPeer peer(scenario, false);
    TimedSubscriber subscriber(peer.controller, false);
    EXPECT_GT(subscribe(subscriber, peer, 60), 0);
    const auto notified = subscriber.waitFor(kNotifiedActive, 0, 10s);
    const auto expired = subscriber.waitFor(kSubscriptionExpired, 0, 5s);
    peer.expectScenarioPassed();
    if (!notified || !expired) {
        ADD_FAILURE() << "no NOTIFY or no expiry";
        return {};
    }
    return between(*notified, *expired);
}

TEST(Subscription, SubscriberKeepsItsExpiryOnANotifyWithoutExpires) {
    // The NOTIFY follows the 200 at once: the expiry stays 1 s after the 200.
    const auto interval = notifiedToExpiry("subscriber_notify_keeps_expiry");
    EXPECT_GE(interval, 850ms);
    EXPECT_LE(interval, 1500ms);
}

TEST(Subscription, SubscriberRestartsItsExpiryOnActiveWithExpires) {
    const auto interval = notifiedToExpiry("subscriber_notify_restarts_expiry");
    EXPECT_GE(interval, 1990ms);
    EXPECT_LE(interval, 2500ms);
}

TEST(Subscription, NotifierAsksForTheMinimumGrantsAndNotifiesWhatIsLeft) {
    SippPeer peer("notifier_subscribe", true);
    NotifierHost host(peer.controller, kel_util::clockSource(), peer.local("alice"));
    host.setMinExpires(30);
    // The 423 leaves no notifier; the second SUBSCRIBE is the first event.
    ASSERT_TRUE(host.waitForEvents(1, 10s));
    ASSERT_EQ(host.events().back().event, kSubscribed);
    const int id = host.events().back().id;
    ASSERT_TRUE(host.respondSubscribe(id, {}));
    // A second passes, so that the NOTIFY carries less than the 60 s granted.
    std::this_thread::sleep_for(1100ms);
    ASSERT_TRUE(host.notify(id, {}));
    ASSERT_TRUE(host.waitForEvents(4, 5s));  // sent 200, sent NOTIFY, NOTIFY confirmed
    NotifyContent last;
    last.subscriptionState = SipSubscriptionState::Terminated;
    ASSERT_TRUE(host.notify(id, last));
    peer.expectScenarioPassed();
}

TEST(Subscription, NotifierAnswersReferWith202AndNotifiesSipfrag) {
    SippPeer peer("notifier_refer", true);
    NotifierHost host(peer.controller, kel_util::clockSource(), peer.local("alice"));
    ASSERT_TRUE(host.waitForEvents(1, 10s));
    ASSERT_EQ(host.events().back().event, kReferred);
    const int id = host.events().back().id;
    SubscribeAnswer accepted;
    accepted.statusCode = 202;
    ASSERT_TRUE(host.respondSubscribe(id, accepted));
    NotifyContent trying;
    trying.body = "SIP/2.0 100 Trying\r\n";
    trying.contentType = "message/sipfrag";
    ASSERT_TRUE(host.notify(id, trying));
    ASSERT_TRUE(host.waitForEvents(4, 5s));  // sent 202, sent NOTIFY, NOTIFY confirmed
    NotifyContent done = trying;
    done.subscriptionState = SipSubscriptionState::Terminated;
    done.body = "SIP/2.0 200 OK\r\n";
    ASSERT_TRUE(host.notify(id, done));
    peer.expectScenarioPassed();
}

}  // namespace
}  // namespace kel_sip::test
