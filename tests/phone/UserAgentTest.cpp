#include "phone/UserAgent.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "UdpPeer.h"
#include "phone/PhoneStack.h"
#include "kel_sip/syntax/HeaderList.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipSubscriptionState.h"
#include "kel_sip/transport/SipTransportHooks.h"
#include "kel_sip/usage/SipNotifier.h"
#include "kel_sip/usage/SipSessionTypes.h"
#include "kel_sip/usage/SipSubscriber.h"

namespace {

using namespace std::chrono_literals;
using namespace kel_sip;

// One event as the window saw it, and on which thread.
struct SeenEvent {
    int message;
    int type;
    int id;
    bool withMessage;
    std::thread::id thread;
    std::string text;  // the message as it would be sent, when there is one
    std::shared_ptr<SipMessageExt> copy;
    std::string localTag;
};

// The phone logic's stand-in: records what reaches the loop.
class RecordingWindow : public LogicWindow {
public:
    void onMessage(int message, std::unique_ptr<LogicRecord> record) override {
        auto* param = dynamic_cast<UserAgentEventParam*>(record.get());
        ASSERT_NE(param, nullptr);
        std::string text;
        if (param->message) param->message->print(text);
        std::lock_guard lock(mutex_);
        seen_.push_back({message, param->type, param->id, param->message != nullptr, std::this_thread::get_id(),
                         std::move(text), std::move(param->message), param->localTag});
        changed_.notify_all();
    }
    void onTimer(int) override {}

    // Waits until an event of message and type has arrived; false after 10 s.
    bool waitFor(int message, int type) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return find(message, type) != nullptr; });
    }
    // Waits until count events of message and type have arrived; false after 10 s.
    bool waitForCount(int message, int type, int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] {
            return std::count_if(seen_.begin(), seen_.end(),
                                 [&](const SeenEvent& e) { return e.message == message && e.type == type; }) >= count;
        });
    }
    SeenEvent last(int message, int type) {
        std::lock_guard lock(mutex_);
        for (auto e = seen_.rbegin(); e != seen_.rend(); ++e) {
            if (e->message == message && e->type == type) return *e;
        }
        return SeenEvent{};
    }
    SeenEvent event(int message, int type) {
        std::lock_guard lock(mutex_);
        const SeenEvent* found = find(message, type);
        return found ? *found : SeenEvent{};
    }
    std::vector<int> types(int message) {
        std::lock_guard lock(mutex_);
        std::vector<int> types;
        for (const SeenEvent& e : seen_) {
            if (e.message == message) types.push_back(e.type);
        }
        return types;
    }
    std::vector<std::thread::id> threads() {
        std::lock_guard lock(mutex_);
        std::vector<std::thread::id> threads;
        for (const SeenEvent& e : seen_) threads.push_back(e.thread);
        return threads;
    }

private:
    const SeenEvent* find(int message, int type) const {
        for (const SeenEvent& e : seen_) {
            if (e.message == message && e.type == type) return &e;
        }
        return nullptr;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<SeenEvent> seen_;
};

// A user agent on 127.0.0.1 with its own logic loop.
struct Phone {
    RecordingWindow window;
    LogicLoop loop{window};
    UserAgent agent;

    UserAgentStart start(int udpPort = 0, int tcpPort = -1) {
        UserAgentStart start;
        start.window = &loop;
        start.hostName = "127.0.0.1";
        start.sentByHost = "127.0.0.1";
        start.bindAddress = "127.0.0.1";
        start.udpPort = udpPort;
        start.udpBindRetry = false;
        start.tcpPort = tcpPort;
        if (tcpPort < 0) start.tcpWorkers = start.tcpHandlerWorkers = 0;
        return start;
    }
    bool init() {
        agent.transactionController().setTimers(50, 400, 500, 500);
        return loop.start() && agent.init(start());
    }
    std::string uri(const std::string& user) {
        return "sip:" + user + "@127.0.0.1:" + std::to_string(agent.udpPort());
    }
    ~Phone() {
        agent.clean();
        loop.stop();
    }
};

template <typename Field>
Field parsed(const std::string& text) {
    Field field;
    field.parse(text.data(), static_cast<int>(text.size()), true);
    return field;
}

SipDialogStart dialogStart(Phone& from, Phone& to) {
    SipDialogStart start;
    start.requestUri = parsed<SipURI>(to.uri("bob"));
    start.localParty = parsed<SipFromTo>("<" + from.uri("alice") + ">");
    start.remoteParty = parsed<SipFromTo>("<" + to.uri("bob") + ">");
    start.localContact = parsed<SipAddress>("<" + from.uri("alice") + ">");
    return start;
}

constexpr const char* kSdp = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
                             "m=audio 4002 RTP/AVP 0\r\n";

// The two ends of a call: the caller's dialog ID number and the callee's.
struct Call {
    int caller = 0;
    int callee = 0;
};

// Every message the transports of this process receive, as text, while it lives.
class ReceivedMessages {
public:
    ReceivedMessages() {
        setReceiveFilterHook([this](SipMessageExt& message) {
            std::string text;
            message.print(text);
            std::lock_guard lock(mutex_);
            texts_.push_back(std::move(text));
            changed_.notify_all();
            return false;
        });
    }
    ~ReceivedMessages() { setReceiveFilterHook({}); }
    ReceivedMessages(const ReceivedMessages&) = delete;
    ReceivedMessages& operator=(const ReceivedMessages&) = delete;

    // Waits until a message that starts with start and holds part has arrived; false after 10 s.
    bool waitFor(const std::string& start, const std::string& part) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] {
            return std::any_of(texts_.begin(), texts_.end(), [&](const std::string& text) {
                return text.rfind(start, 0) == 0 && text.find(part) != std::string::npos;
            });
        });
    }
    std::string all() {
        std::lock_guard lock(mutex_);
        std::string joined;
        for (const std::string& text : texts_) joined += text + "----\n";
        return joined;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> texts_;
};

// from calls to, to answers 200 and from acknowledges.
Call answeredCall(Phone& from, Phone& to, int count = 1) {
    Call call;
    InviteOrder order;
    order.body = kSdp;
    call.caller = from.agent.invite(dialogStart(from, to), order);
    EXPECT_GT(call.caller, 0);
    EXPECT_TRUE(to.window.waitForCount(WM_SIP_SESSION_EVENT, kEventInvited, count));
    const SeenEvent invited = to.window.last(WM_SIP_SESSION_EVENT, kEventInvited);
    EXPECT_TRUE(invited.withMessage);
    call.callee = invited.id;
    SessionResponse answer;
    answer.statusCode = 200;
    answer.body = kSdp;
    const SipAddress contact = parsed<SipAddress>("<" + to.uri("bob") + ">");
    answer.contact = &contact;
    EXPECT_TRUE(to.agent.respondSession(call.callee, answer, false));
    EXPECT_TRUE(from.window.waitForCount(WM_SIP_SESSION_EVENT, kEventInvitingConfirmed, count));
    // "Invited" told the callee the tag its dialog answers with: the To tag of the 200.
    const SeenEvent confirmed = from.window.last(WM_SIP_SESSION_EVENT, kEventInvitingConfirmed);
    EXPECT_FALSE(invited.localTag.empty());
    EXPECT_EQ(invited.localTag, confirmed.copy ? confirmed.copy->to.tag : std::string("(no 200 seen)"));
    EXPECT_TRUE(from.agent.acknowledge(call.caller, {}));
    EXPECT_TRUE(to.window.waitForCount(WM_SIP_SESSION_EVENT, kEventAcked, count));
    return call;
}

// Two agents with a call from alice to bob, answered and acknowledged.
class UserAgentCall : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(alice.init());
        ASSERT_TRUE(bob.init());
        call = answeredCall(alice, bob);
        ASSERT_FALSE(HasFailure());  // the test body needs the call
    }

    Phone alice;
    Phone bob;
    Call call;
};

TEST_F(UserAgentCall, CallPlacedAnsweredAndEndedReachesBothLoopsInOrder) {
    ASSERT_TRUE(alice.agent.endSession(call.caller, nullptr));
    ASSERT_TRUE(bob.window.waitFor(WM_SIP_SESSION_EVENT, kEventReceivedBye));
    ASSERT_TRUE(alice.window.waitFor(WM_SIP_SESSION_EVENT, kEventSentBye));

    EXPECT_EQ(bob.window.types(WM_SIP_SESSION_EVENT),
              (std::vector<int>{kEventInvited, kEventAcked, kEventReceivedBye}));
    // The reports of what alice sent stay in the stack, but for the BYE.
    for (const int type : alice.window.types(WM_SIP_SESSION_EVENT)) {
        EXPECT_FALSE(type >= kEventSentInvite && type <= kEventSentPrAck) << type;
    }
    EXPECT_TRUE(alice.window.event(WM_SIP_SESSION_EVENT, kEventInvitingConfirmed).withMessage);
    EXPECT_FALSE(alice.window.event(WM_SIP_SESSION_EVENT, kEventSentBye).withMessage);
    // Every event was handled on its loop's one thread.
    for (Phone* phone : {&alice, &bob}) {
        const std::vector<std::thread::id> threads = phone->window.threads();
        ASSERT_FALSE(threads.empty());
        EXPECT_TRUE(std::all_of(threads.begin(), threads.end(), [&](auto id) { return id == threads.front(); }));
        EXPECT_NE(threads.front(), std::this_thread::get_id());
    }
}

TEST_F(UserAgentCall, RequestTheCallLeavesToTheWindowIsAnsweredThroughItAndSaysWhetherItWasSent) {
    ASSERT_TRUE(alice.agent.sendDialogRequest(call.caller, "MESSAGE", "hello", "text/plain", nullptr));
    ASSERT_TRUE(bob.window.waitFor(WM_SIP_SESSION_DIALOG_EVENT, kControllerUndefinedRequest));
    const SeenEvent received = bob.window.event(WM_SIP_SESSION_DIALOG_EVENT, kControllerUndefinedRequest);
    ASSERT_TRUE(received.copy);
    EXPECT_EQ(received.id, call.callee);
    const std::unique_ptr<SipMessageExt> ok = received.copy->createResponse(202, nullptr, false);
    EXPECT_TRUE(bob.agent.respondSipSessionDialog(call.callee, *ok));
    ASSERT_TRUE(alice.window.waitFor(WM_SIP_SESSION_DIALOG_EVENT, kControllerUndefinedResponse));
    const SeenEvent answered = alice.window.event(WM_SIP_SESSION_DIALOG_EVENT, kControllerUndefinedResponse);
    EXPECT_EQ(answered.text.rfind("SIP/2.0 202 ", 0), 0u) << answered.text;
    // The transaction has its final answer: a second one is not sent, and no call, no answer.
    EXPECT_FALSE(bob.agent.respondSipSessionDialog(call.callee, *ok));
    EXPECT_FALSE(bob.agent.respondSipSessionDialog(9999, *ok));
}

// The call usage leaves an INFO's answer to the window ("Infoed" comes with the request).
TEST_F(UserAgentCall, InfoInTheCallReachesTheWindowAndIsAnsweredThroughTheUserAgent) {
    ReceivedMessages answers;
    ASSERT_TRUE(alice.agent.sendDialogRequest(call.caller, "INFO", "Signal=5\r\n", "application/dtmf-relay",
                                              nullptr));
    ASSERT_TRUE(bob.window.waitFor(WM_SIP_SESSION_EVENT, kEventInfoed));
    const SeenEvent infoed = bob.window.event(WM_SIP_SESSION_EVENT, kEventInfoed);
    EXPECT_EQ(infoed.id, call.callee);
    ASSERT_TRUE(infoed.withMessage);
    EXPECT_EQ(infoed.text.rfind("INFO ", 0), 0u) << infoed.text;
    EXPECT_NE(infoed.text.find("Signal=5"), std::string::npos) << infoed.text;
    SessionResponse ok;
    ok.statusCode = 200;
    ASSERT_TRUE(bob.agent.sendInfoResponse(call.callee, ok));
    // The caller's side keeps the INFO's answer to itself: it is seen on the wire.
    EXPECT_TRUE(answers.waitFor("SIP/2.0 200 ", " INFO\r\n")) << answers.all();
    // The INFO has its answer: a second one has nothing to answer.
    EXPECT_FALSE(bob.agent.sendInfoResponse(call.callee, ok));
}

TEST(UserAgent, FreeFormRequestGoesOutWithItsBodyHeadersAndANewBranch) {
    Phone alice;
    ASSERT_TRUE(alice.init());
    UdpPeer peer;
    OutOfDialogRequest request;
    request.method = "MESSAGE";
    const std::string target = "sip:bob@127.0.0.1:" + std::to_string(peer.port());
    request.requestUri = parsed<SipURI>(target);
    request.from = parsed<SipFromTo>("<" + alice.uri("alice") + ">;tag=f1");
    request.to = parsed<SipFromTo>("<" + target + ">");
    request.callId = "free-form-1@127.0.0.1";
    request.cseqNumber = 7;
    request.body = "hi";
    request.contentType = "text/plain";
    HeaderList headers;
    headers.addHeader("X-Test", "on");
    request.headers = &headers;
    ASSERT_TRUE(alice.agent.sendSipRequest(request, 0));
    const std::string sent = peer.receive();
    EXPECT_EQ(sent.rfind("MESSAGE " + target + " SIP/2.0\r\n", 0), 0u) << sent;
    for (const char* line : {"\r\nMax-Forwards: 70\r\n", "\r\nCSeq: 7 MESSAGE\r\n", "\r\nX-Test: on\r\n",
                             "\r\nContent-Type: text/plain\r\n", "\r\n\r\nhi", ";branch=z9hG4bK"}) {
        EXPECT_NE(sent.find(line), std::string::npos) << line << " in " << sent;
    }
    // A Request-URI with no host to send to is refused before anything is sent.
    request.peerHost = "";
    request.requestUri = parsed<SipURI>("tel:+15551234");
    EXPECT_FALSE(alice.agent.sendSipRequest(request, 0));
    // A request without a Call-ID is refused, and nothing reaches the peer.
    request.requestUri = parsed<SipURI>(target);
    request.callId.clear();
    EXPECT_FALSE(alice.agent.sendSipRequest(request, 0));
    request.callId = "free-form-2@127.0.0.1";
    ASSERT_TRUE(alice.agent.sendSipRequest(request, 0));
    EXPECT_NE(peer.receive().find("\r\nCall-ID: free-form-2@127.0.0.1\r\n"), std::string::npos);
}

TEST(UserAgent, RegistrationAndRefusedPublicationReachTheirWindows) {
    Phone alice;
    ASSERT_TRUE(alice.init());
    // A registrar: the phone's own pseudo one.
    PhoneStack registrar;
    Settings settings;
    settings.sip.sipUDPPort = 0;
    settings.response.usePseudoRegistrar = true;
    LocalAddress local;
    std::string error;
    ASSERT_TRUE(LocalAddressChooser::resolve("127.0.0.1", "localhost", local, error)) << error;
    ASSERT_TRUE(registrar.start(settings, local, error)) << error;
    const std::string registrarUri = "sip:127.0.0.1:" + std::to_string(registrar.udpPort());

    SipRegistrantStart binding;
    binding.usage.requestUri = parsed<SipURI>(registrarUri);
    binding.usage.addressOfRecord = parsed<SipFromTo>("<sip:alice@127.0.0.1>");
    binding.contact = parsed<SipAddress>("<" + alice.uri("alice") + ">");
    binding.registration.expires = 60;
    SipAddress used;
    const int registrant = alice.agent.registerBinding(binding, used);
    ASSERT_GT(registrant, 0);
    std::string usedText;
    used.print(usedText);
    EXPECT_NE(usedText.find(alice.uri("alice")), std::string::npos) << usedText;
    ASSERT_TRUE(alice.window.waitFor(WM_SIP_REGISTRANT_EVENT, kRegistrantRegisteredEvent));
    EXPECT_EQ(alice.window.event(WM_SIP_REGISTRANT_EVENT, kRegistrantRegisteredEvent).id, registrant);

    // Nobody there serves PUBLISH: the failure reaches the publishing window, which is forgotten.
    RecordingWindow status;
    LogicLoop statusLoop(status);
    ASSERT_TRUE(statusLoop.start());
    SipPublisherStart publication;
    publication.usage.requestUri = parsed<SipURI>(registrarUri);
    publication.usage.addressOfRecord = parsed<SipFromTo>("<sip:alice@127.0.0.1>");
    publication.eventPackage = "presence";
    publication.publication.expires = 60;
    publication.publication.body = "<presence/>";
    publication.publication.contentType = "application/pidf+xml";
    const int publisher = alice.agent.publish(&statusLoop, publication);
    ASSERT_GT(publisher, 0);
    ASSERT_TRUE(status.waitFor(WM_SIP_PUBLISHER_EVENT, kPublisherPublishFailed));
    EXPECT_TRUE(status.event(WM_SIP_PUBLISHER_EVENT, kPublisherPublishFailed).withMessage);
    EXPECT_FALSE(alice.agent.hasPublisherWindow(publisher));
    alice.agent.clean();
    statusLoop.stop();
}

// What a bare peer's request outside any dialog gets.
struct StrayRequestCase {
    const char* method;
    const char* statusLine;
    bool listsAllow;
};

TEST(UserAgent, RequestsNoUsageTakesAreRefusedWithTheRightStatus) {
    Phone phone;
    ASSERT_TRUE(phone.init());
    EXPECT_EQ(phone.agent.tcpPort(), -1);  // UDP alone
    const StrayRequestCase cases[] = {
        {"NOTIFY", "SIP/2.0 481 ", false},  // neither a call's nor a subscription's
        {"MESSAGE", "SIP/2.0 405 ", true},  // a method the calls pass on, and nobody takes
        {"DO", "SIP/2.0 405 ", true},       // a method nobody registered: the default user
    };
    UdpPeer peer;
    int branch = 0;
    for (const StrayRequestCase& c : cases) {
        const std::string answer = peer.ask(phone.agent.udpPort(), c.method, "z9hG4bKua" + std::to_string(++branch));
        EXPECT_EQ(answer.rfind(c.statusLine, 0), 0u) << c.method << ": " << answer;
        if (c.listsAllow) {
            EXPECT_NE(answer.find("Allow: INVITE"), std::string::npos) << answer;
        }
    }
}

TEST(UserAgent, TcpPortTakenRollsBackEveryStepAndAFreePortStartsLater) {
    Phone first;
    ASSERT_TRUE(first.loop.start());
    ASSERT_TRUE(first.agent.init(first.start(0, 0)));
    const int takenTcp = first.agent.tcpPort();
    ASSERT_GT(takenTcp, 0);

    Phone second;
    ASSERT_TRUE(second.loop.start());
    EXPECT_FALSE(second.agent.init(second.start(0, takenTcp)));
    EXPECT_FALSE(second.agent.isRunning());
    EXPECT_EQ(second.agent.udpPort(), -1);
    EXPECT_FALSE(second.agent.SipSessionController::isAccepting());
    EXPECT_FALSE(second.agent.SipRegistrantController::isAccepting());
    EXPECT_FALSE(second.agent.UserAgentSubscriptions::isAccepting());
    EXPECT_FALSE(second.agent.SipPublisherController::isAccepting());

    ASSERT_TRUE(second.agent.init(second.start(0, 0)));
    UdpPeer peer;
    EXPECT_EQ(peer.ask(second.agent.udpPort(), "DO", "z9hG4bKroll").rfind("SIP/2.0 405 ", 0), 0u);
}

TEST(UserAgent, SubscriptionRefusedAtOnceReachesItsWindowAndIsForgotten) {
    Phone alice;
    Phone bob;
    ASSERT_TRUE(alice.init());
    ASSERT_TRUE(bob.init());
    RecordingWindow presence;
    LogicLoop presenceLoop(presence);
    ASSERT_TRUE(presenceLoop.start());

    SubscriptionOrder order;
    order.event.setPackage("presence");
    order.expires = 60;
    // Bob serves no SUBSCRIBE outside a call: the 405 comes back while subscribe may still be
    // on its way out.
    const int id = alice.agent.subscribe(&presenceLoop, dialogStart(alice, bob), order);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(presence.waitFor(WM_SIP_SUBSCRIBER_EVENT, kSubscribeFailed));
    EXPECT_TRUE(presence.event(WM_SIP_SUBSCRIBER_EVENT, kSubscribeFailed).withMessage);
    EXPECT_FALSE(alice.agent.hasSubscriberWindow(id));
    EXPECT_TRUE(alice.window.types(WM_SIP_SUBSCRIBER_EVENT).empty());
    alice.agent.clean();
    presenceLoop.stop();
}

TEST_F(UserAgentCall, TransferSendsReplacesOfTheOtherCallAndTheNotifyFindsTheCall) {
    const Call& first = call;
    const Call second = answeredCall(alice, bob, 2);
    ASSERT_FALSE(HasFailure());

    const SipReferTo referTo = parsed<SipReferTo>("<sip:carol@127.0.0.1>");
    ASSERT_TRUE(alice.agent.transfer(first.caller, referTo, second.caller));
    ASSERT_TRUE(bob.window.waitFor(WM_SIP_NOTIFIER_EVENT, kReferred));
    const SeenEvent referred = bob.window.event(WM_SIP_NOTIFIER_EVENT, kReferred);
    EXPECT_EQ(referred.id, first.callee);
    // The replaced call as alice knows it: its Call-ID, to-tag = bob's tag, from-tag = hers.
    std::string callId, aliceTag, bobTag;
    alice.agent.SipSessionController::withDialog(second.caller, [&](SipSessionDialog& dialog) {
        const SipDialogIDExt& id = static_cast<SipDialog&>(dialog).dialogId();
        callId = id.callId;
        aliceTag = id.localTag;
        bobTag = id.remoteTag;
        return true;
    });
    const std::size_t referToAt = referred.text.find("Refer-To:");
    ASSERT_NE(referToAt, std::string::npos) << referred.text;
    const std::string referToLine = referred.text.substr(referToAt, referred.text.find("\r\n", referToAt) - referToAt);
    // Escaped as a URI header (RFC 3261 section 19.1.1, RFC 3891 section 6.1).
    std::string escapedCallId = callId;
    escapedCallId.replace(escapedCallId.find('@'), 1, "%40");
    EXPECT_NE(referToLine.find("?Replaces=" + escapedCallId + "%3Bto-tag%3D" + bobTag + "%3Bfrom-tag%3D" + aliceTag +
                               ">"),
              std::string::npos)
        << referToLine;

    SubscribeAnswer accepted;
    accepted.statusCode = 202;
    ASSERT_TRUE(bob.agent.respondSubscribe(referred.id, accepted));
    NotifyContent progress;
    progress.subscriptionState = SipSubscriptionState::Active;
    progress.body = "SIP/2.0 100 Trying\r\n";
    progress.contentType = "message/sipfrag";
    ASSERT_TRUE(bob.agent.notify(referred.id, progress));
    // The NOTIFY belongs to alice's first call, not to a subscription of her own.
    ASSERT_TRUE(alice.window.waitFor(WM_SIP_SUBSCRIBER_EVENT, kNotifiedActive));
    EXPECT_EQ(alice.window.event(WM_SIP_SUBSCRIBER_EVENT, kNotifiedActive).id, first.caller);
    EXPECT_TRUE(alice.window.waitFor(WM_SIP_SUBSCRIBER_EVENT, kReferSucceeded));

    // A transfer that names no call sends nothing.
    EXPECT_FALSE(alice.agent.transfer(first.caller, referTo, 9999));
}

// The value of the first header name of a message's text ("" when there is none).
std::string headerOf(const std::string& text, const std::string& name) {
    const std::size_t at = text.find("\r\n" + name + ": ");
    if (at == std::string::npos) return {};
    const std::size_t start = at + name.size() + 4;
    return text.substr(start, text.find("\r\n", start) - start);
}

TEST(UserAgent, SubscriptionAnsweredAtOnceAndItsNotifyReachTheSubscribingWindow) {
    Phone alice;
    ASSERT_TRUE(alice.init());
    RecordingWindow presence;
    LogicLoop presenceLoop(presence);
    ASSERT_TRUE(presenceLoop.start());
    UdpPeer notifier;

    SipDialogStart start;
    const std::string target = "sip:bob@127.0.0.1:" + std::to_string(notifier.port());
    start.requestUri = parsed<SipURI>(target);
    start.localParty = parsed<SipFromTo>("<" + alice.uri("alice") + ">");
    start.remoteParty = parsed<SipFromTo>("<" + target + ">");
    start.localContact = parsed<SipAddress>("<" + alice.uri("alice") + ">");
    SubscriptionOrder order;
    order.event.setPackage("presence");
    order.expires = 60;
    const int id = alice.agent.subscribe(&presenceLoop, start, order);
    ASSERT_GT(id, 0);

    // The notifier answers and notifies as soon as the SUBSCRIBE is read.
    const std::string subscribe = notifier.receive();
    ASSERT_EQ(subscribe.rfind("SUBSCRIBE ", 0), 0u) << subscribe;
    const std::string callId = headerOf(subscribe, "Call-ID");
    const std::string from = headerOf(subscribe, "From");
    const std::string to = headerOf(subscribe, "To") + ";tag=n071f1er";
    notifier.send(alice.agent.udpPort(), "SIP/2.0 200 OK\r\nVia: " + headerOf(subscribe, "Via") + "\r\nFrom: " +
                                             from + "\r\nTo: " + to + "\r\nCall-ID: " + callId + "\r\nCSeq: " +
                                             headerOf(subscribe, "CSeq") + "\r\nExpires: 60\r\nContact: <" + target +
                                             ">\r\nContent-Length: 0\r\n\r\n");
    notifier.send(alice.agent.udpPort(),
                  "NOTIFY " + alice.uri("alice") + " SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" +
                      std::to_string(notifier.port()) + ";branch=z9hG4bKn0t1fy\r\nMax-Forwards: 70\r\nFrom: " + to +
                      "\r\nTo: " + from + "\r\nCall-ID: " + callId +
                      "\r\nCSeq: 1 NOTIFY\r\nEvent: presence\r\nSubscription-State: active;expires=60\r\n"
                      "Contact: <" + target + ">\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(notifier.receive().rfind("SIP/2.0 200 ", 0), 0u);

    ASSERT_TRUE(presence.waitFor(WM_SIP_SUBSCRIBER_EVENT, kNotifiedActive));
    EXPECT_TRUE(presence.waitFor(WM_SIP_SUBSCRIBER_EVENT, kSubscribeSucceeded));
    EXPECT_EQ(presence.event(WM_SIP_SUBSCRIBER_EVENT, kNotifiedActive).id, id);
    EXPECT_TRUE(alice.agent.hasSubscriberWindow(id));
    EXPECT_TRUE(alice.window.types(WM_SIP_SUBSCRIBER_EVENT).empty());
    alice.agent.clean();
    presenceLoop.stop();
}

// The events of a subscription whose ID is not yet recorded wait for it.
TEST(UserAgentWindowMap, EventsBeforeTheIdIsRecordedArriveInOrderAndAnEndingOneForgetsIt) {
    RecordingWindow window;
    LogicLoop loop(window);
    ASSERT_TRUE(loop.start());
    UserAgentWindowMap map(UserAgentHook::Subscriber);

    map.beginStart();
    EXPECT_TRUE(map.deliver(kSubscribeSucceeded, 7, 2, nullptr));
    EXPECT_TRUE(map.deliver(kNotifiedTerminate, 7, 0, nullptr));
    EXPECT_TRUE(map.deliver(kSubscribeSucceeded, 8, 2, nullptr));  // nobody's
    ASSERT_TRUE(map.finishStart(7, &loop));
    ASSERT_TRUE(window.waitFor(WM_SIP_SUBSCRIBER_EVENT, kNotifiedTerminate));
    ASSERT_TRUE(loop.waitIdle(5s));
    EXPECT_EQ(window.types(WM_SIP_SUBSCRIBER_EVENT),
              (std::vector<int>{kSubscribeSucceeded, kNotifiedTerminate}));
    EXPECT_FALSE(map.contains(7));
    EXPECT_FALSE(map.contains(8));

    // Recorded and not ended: later events go straight to the window; a second start that
    // names the same ID is refused.
    map.beginStart();
    ASSERT_TRUE(map.finishStart(9, &loop));
    map.beginStart();
    EXPECT_FALSE(map.finishStart(9, &loop));
    EXPECT_TRUE(map.deliver(kSubscribeTimeout, 9, 0, nullptr));
    ASSERT_TRUE(window.waitFor(WM_SIP_SUBSCRIBER_EVENT, kSubscribeTimeout));
    EXPECT_FALSE(map.contains(9));
}

}  // namespace
