// Both sides of an INVITE session over the fake transaction layer: a scripted peer answers
// or calls, the test plays the user agent (acknowledge, respondSession, endSession), the
// manual clock drives the session timers, and each step checks what went out, which
// SipSessionEvents were reported and the session's state string.
#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeTransactionController.h"
#include "UsageTestMessages.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/usage/SipSessionController.h"
#include "kel_util/Clock.h"

namespace kel_sip::test {
namespace {

using namespace std::chrono_literals;

class RecordingSessions : public SipSessionController {
public:
    RecordingSessions(FakeTransactionController& fake, kel_util::ClockSource& clock)
        : SipSessionController(fake, clock) {
        init(1, "host.test");
        registerMethods({SipMethod::Invite, SipMethod::Ack, SipMethod::Bye, SipMethod::Cancel, SipMethod::Refer,
                         SipMethod::Notify, SipMethod::Options, SipMethod::Prack, SipMethod::Update,
                         SipMethod::Info});
    }
    ~RecordingSessions() override { clean(); }

    bool onSipSessionEvent(int event, SipSession& session, const SipMessageExt* message, int parameter) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            events_.push_back(event);
        }
        if (event == refusedEvent) return false;
        return SipSessionController::onSipSessionEvent(event, session, message, parameter);
    }
    // The event the user agent refuses to take (-1: none).
    std::atomic<int> refusedEvent{-1};
    // A call's subscriber events are recorded as kSubscriber plus their number.
    void onSipSessionSubscriberEvent(int event, SipSessionDialog& dialog, const SipMessageExt* message) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            events_.push_back(kSubscriber + event);
        }
        SipSessionController::onSipSessionSubscriberEvent(event, dialog, message);
    }
    std::vector<int> events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    static constexpr int kSubscriber = 100;

private:
    std::mutex mutex_;
    std::vector<int> events_;
};

const std::string kSdp =
    "v=0\no=- 1 1 IN IP4 10.0.0.2\ns=-\nc=IN IP4 10.0.0.2\nt=0 0\nm=audio 4000 RTP/AVP 0\n";
const std::string kContact = "Contact: <sip:bob@10.0.0.2:5080>\n";

// Content-Type and Content-Length lines and the body, as parseMessage will send them.
std::string withBody(const std::string& type, const std::string& body) {
    const auto crlf = static_cast<std::size_t>(std::count(body.begin(), body.end(), '\n'));
    return "Content-Type: " + type + "\nContent-Length: " + std::to_string(body.size() + crlf) + "\n\n" + body;
}

// The peer's response to an INVITE or re-INVITE this side sent; tail is what follows Call-ID
// and CSeq.
std::unique_ptr<SipMessageExt> responseTo(const SipMessageExt& invite, int code, const std::string& tail,
                                          const char* toTag, int seqNoOffset) {
    const std::string tag = code == 100 ? std::string() : std::string(";tag=") + toTag;
    return parseMessage("SIP/2.0 " + std::to_string(code) + " Whatever\n"
                        "Via: SIP/2.0/UDP 127.0.0.1:5062;branch=" + invite.vias.front().getBranch() + "\n"
                        "From: <sip:alice@a.test>;tag=" + invite.from.tag + "\n"
                        "To: <sip:bob@b.test>" + tag + "\n"
                        "Call-ID: " + invite.callId + "\n"
                        "CSeq: " + std::to_string(invite.cseq.getNumber() + seqNoOffset) + " " +
                        std::string(invite.getMethodName()) + "\n" + tail);
}

// What both sides' fixtures share: the controller over the fake, its clock and the call's ID.
class Harness {
public:
    void advance(std::chrono::milliseconds step) { ASSERT_TRUE(clock.advance(step)); }
    void settle() { kel_sip::test::settle(fake, "OPTIONS"); }
    std::vector<int> events() { return sessions.events(); }
    // The session's state string; "gone" when the dialog has been removed.
    std::string state() {
        std::string text = "gone";
        sessions.withDialog(id, [&](SipSessionDialog& dialog) {
            text = dialog.session() != nullptr ? dialog.session()->getStateString() : "none";
            return true;
        });
        return text;
    }
    // The last request of method sent.
    SentMessage last(const char* method) {
        const std::vector<SentMessage> all = fake.sent();
        for (auto it = all.rbegin(); it != all.rend(); ++it)
            if (it->kind == SentMessage::Request && it->message->getMethodName() == method) return *it;
        return {};
    }
    // The peer answers our last INVITE; tail is what follows Call-ID and CSeq.
    void respond(int code, const std::string& tail = kContact + "Content-Length: 0\n\n", const char* toTag = "remote1",
                 int seqNoOffset = 0) {
        const SentMessage invite = last("INVITE");
        ASSERT_TRUE(invite.message);
        ASSERT_TRUE(
            fake.injectResponse(invite.transactionId, *responseTo(*invite.message, code, tail, toTag, seqNoOffset)));
    }
    // Our re-INVITE offering media in direction ("sendonly", "sendrecv").
    bool reInvite(const std::string& direction, int inviteTimeout = 0) {
        offer_ = "v=0\r\na=" + direction + "\r\n";
        InviteOrder order;
        order.body = offer_;
        order.inviteTimeout = inviteTimeout;
        return sessions.reInvite(id, order);
    }

    kel_util::ManualClock clock;
    FakeTransactionController fake;
    RecordingSessions sessions{fake, clock};
    int id = 0;

private:
    std::string offer_;
};

class Call : public Harness {
public:
    void invite(int inviteTimeout = 0, int noAnswerTimeout = 0, int progressTimeout = 0) {
        InviteOrder order;
        order.sessionTimer = sessionTimer;
        order.body = "v=0\r\n";
        order.inviteTimeout = inviteTimeout;
        order.noAnswerTimeout = noAnswerTimeout;
        order.progressTimeout = progressTimeout;
        order.relProcessType = relProcessType;
        SipDialogStart start;
        start.requestUri.parse("sip:bob@b.test", 14, true);
        start.localParty.parse("<sip:alice@a.test>", 18, true);
        start.remoteParty.parse("<sip:bob@b.test>", 16, true);
        start.localContact.parse("<sip:alice@127.0.0.1:5062>", 26, true);
        id = sessions.invite(start, order);
        ASSERT_GT(id, 0);
    }
    // A 2xx after the INVITE transaction ended: a retransmission or another fork's.
    void respondStray(const char* toTag) {
        const SentMessage invite = last("INVITE");
        ASSERT_TRUE(invite.message);
        const std::string tail = kContact + "Content-Length: 0\n\n";
        ASSERT_TRUE(fake.injectStrayResponse(*responseTo(*invite.message, 200, tail, toTag, 0)));
    }
    // The peer sends a request of method in the dialog; headers follow CSeq.
    void peerRequest(const std::string& method, const std::string& headers = {}) {
        const SentMessage invite = last("INVITE");
        ASSERT_TRUE(invite.message);
        const std::string seqNo = std::to_string(++peerSeqNo_);
        ASSERT_GT(fake.injectRequest(*parseMessage(method + " sip:alice@127.0.0.1:5062 SIP/2.0\n"
                                                   "Via: SIP/2.0/UDP 10.0.0.2:5080;branch=z9hG4bKpeer" + seqNo + "\n"
                                                   "From: <sip:bob@b.test>;tag=remote1\n"
                                                   "To: <sip:alice@a.test>;tag=" + invite.message->from.tag + "\n"
                                                   "Call-ID: " + invite.message->callId + "\n"
                                                   "CSeq: " + seqNo + " " + method + "\n" + headers +
                                                   "Content-Length: 0\n\n")),
                  0);
    }
    void peerBye() { peerRequest("BYE"); }
    bool hangUp() { return sessions.endSession(id, nullptr); }
    // The INVITE client transaction has been deleted by the session.
    bool inviteDeleted() {
        const std::vector<int> deleted = fake.deletedClientTransactions();
        return std::find(deleted.begin(), deleted.end(), last("INVITE").transactionId) != deleted.end();
    }
    // REFER in the call, and the peer's answer to it.
    void refer() {
        SipReferTo referTo;
        referTo.parse("<sip:carol@c.test>", 18, true);
        ASSERT_TRUE(sessions.refer(id, referTo, nullptr, {}));
    }
    void answerRefer(int code) { answerLast("REFER", code); }
    // The peer answers the last request of method we sent.
    void answerLast(const char* method, int code, const std::string& tail = "Content-Length: 0\n\n") {
        const SentMessage request = last(method);
        ASSERT_TRUE(request.message);
        ASSERT_TRUE(fake.injectResponse(request.transactionId, *responseTo(*request.message, code, tail, "remote1", 0)));
    }
    int relProcessType = 0;  // of the INVITE sent (RFC 3262)
    void timeOut() { ASSERT_TRUE(fake.injectClientTimeout(last("INVITE").transactionId)); }
    void transportError() { ASSERT_TRUE(fake.injectRequestTransportError(last("INVITE").transactionId)); }

    SessionTimerOverrides sessionTimer;  // of the first INVITE

private:
    int peerSeqNo_ = 0;
};

template <class Fixture>
struct Steps {
    const char* what;
    std::function<void(Fixture&)> act;
    std::vector<std::string> sent;  // summaries of what we sent
    std::vector<int> events;        // SipSessionEvent numbers reported
    const char* state;              // the session's state afterwards
};
using Step = Steps<Call>;

const char* const kInvite = "INVITE Content-Type=application/sdp";
constexpr int kSubscriber = RecordingSessions::kSubscriber;

void acknowledge(Call& c) {
    ASSERT_TRUE(c.sessions.acknowledge(c.id, {}));
    // RFC 3261 section 13.2.2.4: the INVITE's CSeq number, the 2xx's Contact as Request-URI.
    const SentMessage ack = c.last("ACK");
    ASSERT_TRUE(ack.message);
    EXPECT_EQ(ack.message->cseq.getNumber(), c.last("INVITE").message->cseq.getNumber());
    EXPECT_EQ(ack.message->requestUri.toString(), "sip:bob@10.0.0.2:5080");
    EXPECT_EQ(ack.message->to.tag, "remote1");
}

std::vector<std::vector<Step>> scenarios() {
    const auto answered = [](Call& c) { c.invite(); c.respond(200, kContact + withBody("application/sdp", kSdp)); };
    return {
        {
            {"INVITE", [](Call& c) { c.invite(); }, {kInvite}, {kEventSentInvite}, "Inviting"},
            {"100", [](Call& c) { c.respond(100); }, {}, {}, "Inviting (Provisoned)"},
            {"a BYE before the answer", [](Call& c) { c.peerBye(); }, {"500 Server Internal Error"}, {},
             "Inviting (Provisoned)"},
            {"180", [](Call& c) { c.respond(180); }, {}, {kEventInvitingProceeding}, "Inviting (Provisoned)"},
            {"200 of another CSeq", [](Call& c) { c.respond(200, kContact + "Content-Length: 0\n\n", "remote1", 1); },
             {}, {}, "Inviting (Provisoned)"},
            {"200", [](Call& c) { c.respond(200, kContact + withBody("application/sdp", kSdp)); }, {},
             {kEventInvitingConfirmed}, "Inviting Confirmed"},
            {"200 again before the ACK", [](Call& c) { c.respondStray("remote1"); }, {}, {}, "Inviting Confirmed"},
            {"ACK", acknowledge, {"ACK"}, {kEventSentAck}, "Acknowledged"},
            {"a second ACK is refused", [](Call& c) { EXPECT_FALSE(c.sessions.acknowledge(c.id, {})); }, {}, {},
             "Acknowledged"},
            {"200 again: the same ACK", [](Call& c) { c.respondStray("remote1"); }, {"ACK"}, {}, "Acknowledged"},
            {"200 of another fork", [](Call& c) { c.respondStray("remote2"); }, {"ACK", "BYE"}, {}, "Acknowledged"},
            {"BYE from the peer", [](Call& c) { c.peerBye(); }, {"200 OK"}, {kEventReceivedBye}, "gone"},
        },
        {
            {"answered", answered, {kInvite}, {kEventSentInvite, kEventInvitingConfirmed}, "Inviting Confirmed"},
            {"ACK", acknowledge, {"ACK"}, {kEventSentAck}, "Acknowledged"},
            {"hung up", [](Call& c) { EXPECT_TRUE(c.sessions.endSession(c.id, nullptr)); }, {"BYE"}, {kEventSentBye},
             "gone"},
            {"a late 2xx has no dialog", [](Call& c) { c.respondStray("remote1"); }, {"ACK", "BYE"}, {}, "gone"},
        },
        {
            {"a transfer in the call",
             [=](Call& c) { answered(c); c.settle(); acknowledge(c); c.refer(); c.answerRefer(202); },
             {kInvite, "ACK", "REFER"},
             {kEventSentInvite, kEventInvitingConfirmed, kEventSentAck, kSubscriber + kSentRefer,
              kSubscriber + kReferSucceeded},
             "Acknowledged"},
            {"the session ends, the REFER's subscription keeps the dialog", [](Call& c) { c.peerBye(); }, {"200 OK"},
             {kEventReceivedBye}, "none"},
            {"hanging up then has nothing to end", [](Call& c) { EXPECT_FALSE(c.hangUp()); }, {}, {}, "none"},
            {"its NOTIFY reaches it",
             [](Call& c) { c.peerRequest("NOTIFY", "Event: refer\nSubscription-State: active\n"); },
             {"200 OK"}, {kSubscriber + kNotifiedActive}, "none"},
            {"a terminated NOTIFY ends the dialog",
             [](Call& c) { c.peerRequest("NOTIFY", "Event: refer\nSubscription-State: terminated\n"); }, {"200 OK"},
             {kSubscriber + kNotifiedTerminate}, "gone"},
        },
        {
            {"a new REFER beyond the most dialogs", [](Call& c) {
                 c.sessions.setMaxDialogs(1);
                 c.invite();
                 ASSERT_GT(c.fake.injectRequest(*parseMessage("REFER sip:alice@127.0.0.1:5062 SIP/2.0\n"
                                                              "Via: SIP/2.0/UDP 10.0.0.2:5080;branch=z9hG4bKr1\n"
                                                              "From: <sip:bob@b.test>;tag=remote9\n"
                                                              "To: <sip:alice@a.test>\n"
                                                              "Call-ID: refer-outside\n"
                                                              "CSeq: 1 REFER\n"
                                                              "Refer-To: <sip:carol@c.test>\n" + kContact +
                                                              "Content-Length: 0\n\n")),
                           0);
             },
             {kInvite, "480 Temporarily Unavailable"}, {kEventSentInvite}, "Inviting"},
        },
        {
            {"hung up before the ACK",
             [=](Call& c) { answered(c); c.settle(); EXPECT_TRUE(c.sessions.endSession(c.id, nullptr)); },
             {kInvite, "BYE"}, {kEventSentInvite, kEventInvitingConfirmed, kEventSentBye}, "gone"},
        },
        {
            {"486", [](Call& c) { c.invite(); c.respond(180); c.respond(486); }, {kInvite},
             {kEventSentInvite, kEventInvitingProceeding, kEventInvitingFailed}, "gone"},
        },
        {
            {"302", [](Call& c) { c.invite(); c.respond(302); }, {kInvite}, {kEventSentInvite, kEventInvitingFailed},
             "gone"},
        },
        {
            {"transaction time-out", [](Call& c) { c.invite(); c.timeOut(); }, {kInvite},
             {kEventSentInvite, kEventInvitingTransactionTimeout}, "gone"},
        },
        {
            {"transport error", [](Call& c) { c.invite(); c.transportError(); }, {kInvite},
             {kEventSentInvite, kEventInvitingTransportError}, "gone"},
        },
        {
            {"no response before the Invite timer", [](Call& c) { c.invite(2); c.settle(); c.advance(2s); },
             {kInvite}, {kEventSentInvite, kEventInviteTimeout}, "gone"},
        },
        {
            {"INVITE with three timers", [](Call& c) { c.invite(2, 5, 1); }, {kInvite}, {kEventSentInvite}, "Inviting"},
            {"a 100 stops the Invite timer", [](Call& c) { c.respond(100); c.settle(); c.advance(2s); }, {}, {},
             "Inviting (Provisoned)"},
            {"180 starts the Progress timer", [](Call& c) { c.respond(180); }, {}, {kEventInvitingProceeding},
             "Inviting (Provisoned)"},
            {"Progress timer", [](Call& c) { c.advance(1s); }, {}, {kEventProgressTimeout}, "Inviting (Provisoned)"},
            {"NoAnswer timer after a response: CANCEL", [](Call& c) { c.advance(2s); }, {"CANCEL"},
             {kEventSentCancel, kEventNoAnswerTimeout}, "Inviting (Canceling)"},
            {"487", [](Call& c) { c.respond(487); }, {}, {kEventInvitingFailed}, "gone"},
        },
        {
            {"2xx without Contact", [](Call& c) { c.invite(); c.respond(200, "Content-Length: 0\n\n"); },
             {kInvite, "ACK", "BYE"}, {kEventSentInvite, kEventSentAck, kEventSentBye, kEventInvitingFailed}, "gone"},
        },
        {
            {"2xx with an unparsable Contact",
             [](Call& c) { c.invite(); c.respond(200, "Contact: <sip:bob@\n" "Content-Length: 0\n\n"); },
             {kInvite, "ACK", "BYE"}, {kEventSentInvite, kEventSentAck, kEventSentBye, kEventInvitingFailed}, "gone"},
        },
        {
            {"2xx with an unparsable SDP",
             [](Call& c) { c.invite(); c.respond(200, kContact + withBody("application/sdp", "garbage\n")); },
             {kInvite, "ACK", "BYE"}, {kEventSentInvite, kEventSentAck, kEventSentBye, kEventInvitingFailed}, "gone"},
        },
    };
}

TEST(SipSessionController, ScriptedPeerDrivesTheCallingSideThroughItsStates) {
    runScenarios<Call>(scenarios());
}

const std::string kOffer = kContact + withBody("application/sdp", kSdp);

// The answering side: the scripted peer calls (Call-ID "answered" unless told, From tag
// remote1), the test answers through respondSession. The first dialog has ID number 1.
class Answer : public Harness {
public:
    Answer() {
        id = 1;
        contact_.parse("<sip:alice@127.0.0.1:5062>", 26, true);
    }
    void invite(const std::string& tail = kOffer, const std::string& callId = "answered") {
        inviteServerId_ = peerRequest("INVITE", kInviteSeqNo, "", "z9hG4bKinvite", tail, callId);
        ASSERT_GT(inviteServerId_, 0);
        // Taken before the test answers it.
        settle();
    }
    // A request in the dialog: its To tag is the one our responses carry. Taken before the
    // test goes on, so that the user agent acts in the state it leaves.
    void inDialog(const std::string& method, int seqNo, const std::string& tail = "Content-Length: 0\n\n") {
        const int result = peerRequest(method, seqNo, localTag(), "z9hG4bK" + method + std::to_string(++branches_), tail);
        ASSERT_GE(result, 0);
        settle();
    }
    // The dialog's tags under another Call-ID.
    void outsideDialog(const std::string& method, const std::string& tail = "Content-Length: 0\n\n") {
        ASSERT_GE(peerRequest(method, 9, localTag(), "z9hG4bKout" + std::to_string(++branches_), tail, "elsewhere"), 0);
    }
    void peerReInvite(int seqNo, const std::string& tail = kOffer) { inDialog("INVITE", seqNo, tail); }
    void ack(int seqNo = kInviteSeqNo) { inDialog("ACK", seqNo); }
    void bye(int seqNo) { inDialog("BYE", seqNo); }
    // CANCEL of the first INVITE (RFC 3261 section 9.1): its branch and CSeq number, no To tag.
    void cancel() {
        fake.cancelTarget = inviteServerId_;
        ASSERT_GT(peerRequest("CANCEL", kInviteSeqNo, "", "z9hG4bKinvite", "Content-Length: 0\n\n", "answered"), 0);
    }
    // The user agent answers the INVITE or re-INVITE received.
    void respondSession(int code, bool withSdp = false) {
        SessionResponse answer;
        answer.statusCode = code;
        answer.contact = &contact_;
        if (withSdp) answer.body = kSdp;
        answer.sessionTimer = sessionTimer;
        ASSERT_TRUE(sessions.respondSession(id, answer));
    }
    // The transport cannot carry the last response; the parameter names the dialog.
    void responseTransportError() { ASSERT_TRUE(fake.injectResponseTransportError(0, lastResponse(), id)); }
    // The last response sent.
    SipMessageExt& lastResponse() {
        const std::vector<SentMessage> all = fake.sent();
        for (auto it = all.rbegin(); it != all.rend(); ++it)
            if (it->kind != SentMessage::Request && it->message->cseq.getMethodKind() != SipMethod::Options)
                return *(last_ = it->message);
        ADD_FAILURE() << "no response sent";
        return *(last_ = std::make_shared<SipMessageExt>());
    }
    std::string header(int kind) {
        const std::string* value = lastResponse().getHeader(kind, HeaderListBase::Position::First);
        return value != nullptr ? *value : std::string("(none)");
    }

    static constexpr int kInviteSeqNo = 5;
    SessionTimerOverrides sessionTimer;  // of the 2xx

private:
    std::string localTag() {
        const std::vector<SentMessage> all = fake.sent();
        for (auto it = all.rbegin(); it != all.rend(); ++it)
            if (it->kind != SentMessage::Request && it->message->callId == "answered" && !it->message->to.tag.empty())
                return it->message->to.tag;
        return {};
    }
    int peerRequest(const std::string& method, int seqNo, const std::string& toTag, const std::string& branch,
                    const std::string& tail, const std::string& callId = "answered") {
        const std::string to = toTag.empty() ? std::string() : ";tag=" + toTag;
        return fake.injectRequest(*parseMessage(method + " sip:alice@127.0.0.1:5062 SIP/2.0\n"
                                                "Via: SIP/2.0/UDP 10.0.0.2:5080;branch=" + branch + "\n"
                                                "From: <sip:bob@b.test>;tag=remote1\n"
                                                "To: <sip:alice@a.test>" + to + "\n"
                                                "Call-ID: " + callId + "\n"
                                                "CSeq: " + std::to_string(seqNo) + " " + method + "\n" + tail));
    }

    SipAddress contact_;
    int inviteServerId_ = 0;
    int branches_ = 0;
    std::shared_ptr<SipMessageExt> last_;
};

using AnswerStep = Steps<Answer>;
const char* const kOk = "200 OK Content-Type=application/sdp";
const char* const kReInvite = "INVITE Content-Type=application/sdp";

// The body of the last INVITE we sent.
std::string lastOffer(Harness& h) {
    const SentMessage invite = h.last("INVITE");
    return invite.message ? std::string(invite.message->body.view()) : std::string();
}

// A 400 naming what failed, and nothing left of the call.
AnswerStep refusedWith400(const char* what, std::string tail, const char* reason) {
    return {what,
            [tail, reason](Answer& a) {
                a.invite(tail);
                a.settle();
                EXPECT_EQ(a.header(SipHeader::ReasonPhrase), reason);
                EXPECT_EQ(a.sessions.getDialogCount(), 0u);
            },
            {"400 Bad Request"}, {}, "gone"};
}

std::vector<std::vector<AnswerStep>> answeringScenarios() {
    const auto answered = [](Answer& a) { a.invite(); a.respondSession(200, true); };
    // The call is up and the peer's re-INVITE (CSeq 6) waits for the user agent's answer.
    const auto reInvited = [=](Answer& a) { answered(a); a.ack(); a.peerReInvite(6); };
    const auto reInvitedConfirmed = [=](Answer& a) { reInvited(a); a.respondSession(200, true); };
    const std::vector<int> reInvitedUp{kEventInvited, kEventSentInviteFinalResponse, kEventAcked, kEventReInvited};
    const auto advance = [](std::chrono::milliseconds step) { return [step](Answer& a) { a.advance(step); }; };
    return {
        {
            {"INVITE", [](Answer& a) { a.invite(); }, {}, {kEventInvited}, "Invited"},
            {"100", [](Answer& a) { a.respondSession(100); }, {"100 Trying"}, {}, "Invited"},
            {"180", [](Answer& a) { a.respondSession(180); }, {"180 Ringing"}, {kEventSentInviteProvisionalResponse},
             "Invited (Proceeding)"},
            {"200",
             [](Answer& a) {
                 a.respondSession(200, true);
                 a.settle();
                 EXPECT_EQ(a.header(SipHeader::Contact), "<sip:alice@127.0.0.1:5062>");
             },
             {kOk}, {kEventSentInviteFinalResponse}, "Invited Confirmed"},
            {"a second 2xx is refused",
             [](Answer& a) {
                 SessionResponse again;
                 again.statusCode = 200;
                 EXPECT_FALSE(a.sessions.respondSession(a.id, again));
             },
             {}, {}, "Invited Confirmed"},
            {"an ACK of another CSeq is ignored", [](Answer& a) { a.ack(Answer::kInviteSeqNo + 1); }, {}, {},
             "Invited Confirmed"},
            {"ACK", [](Answer& a) { a.ack(); }, {}, {kEventAcked}, "Acknowledged"},
            {"no 2xx after the ACK", advance(std::chrono::seconds(40)), {}, {}, "Acknowledged"},
            {"a re-INVITE with the same CSeq is dropped",
             [](Answer& a) {
                 a.peerReInvite(Answer::kInviteSeqNo);
                 a.settle();
                 EXPECT_EQ(a.fake.deletedServerTransactions().size(), 1u);
             },
             {}, {}, "Acknowledged"},
            {"a re-INVITE with a lower CSeq", [](Answer& a) { a.peerReInvite(Answer::kInviteSeqNo - 1); },
             {"500 Server Internal Error"}, {}, "Acknowledged"},
            {"a re-INVITE with an SDP that does not parse",
             [](Answer& a) { a.inDialog("INVITE", 6, kContact + withBody("application/sdp", "garbage\n")); },
             {"400 Bad Request"}, {}, "Acknowledged"},
            {"re-INVITE", [](Answer& a) { a.peerReInvite(7); }, {}, {kEventReInvited}, "ReInvited"},
            {"another re-INVITE meanwhile", [](Answer& a) { a.peerReInvite(8); }, {"491 Request Pending"}, {},
             "ReInvited"},
            {"200 to the re-INVITE", [](Answer& a) { a.respondSession(200, true); }, {kOk},
             {kEventSentReInviteFinalResponse}, "ReInvited Confirmed"},
            {"another re-INVITE before its ACK", [](Answer& a) { a.peerReInvite(9); }, {"491 Request Pending"}, {},
             "ReInvited Confirmed"},
            {"its ACK", [](Answer& a) { a.ack(7); }, {}, {kEventReAcked}, "Acknowledged"},
            {"BYE", [](Answer& a) { a.bye(10); }, {"200 OK"}, {kEventReceivedBye}, "gone"},
        },
        {
            {"answered, no ACK", answered, {kOk}, {kEventInvited, kEventSentInviteFinalResponse}, "Invited Confirmed"},
            {"not before T1", advance(499ms), {}, {}, "Invited Confirmed"},
            {"T1", advance(1ms), {kOk}, {}, "Invited Confirmed"},
            {"2 T1 later", advance(1000ms), {kOk}, {}, "Invited Confirmed"},
            {"4 T1 later", advance(2000ms), {kOk}, {}, "Invited Confirmed"},
            {"not before T2", advance(3999ms), {}, {}, "Invited Confirmed"},
            {"T2 later", advance(1ms), {kOk}, {}, "Invited Confirmed"},
            {"T2 again: capped",
             [](Answer& a) {
                 // 11.5 s to 31.5 s.
                 for (int i = 0; i < 6; ++i) {
                     a.advance(4000ms);
                     a.settle();
                 }
             },
             {kOk, kOk, kOk, kOk, kOk, kOk}, {}, "Invited Confirmed"},
            {"64 T1 without ACK: BYE", advance(500ms), {"BYE"}, {kEventSentBye, kEventAckWaitingTimeout}, "gone"},
        },
        {
            {"a BYE while Invited is refused",
             [](Answer& a) { a.invite(); a.respondSession(180); a.bye(Answer::kInviteSeqNo + 1); },
             {"180 Ringing", "500 Server Internal Error"}, {kEventInvited, kEventSentInviteProvisionalResponse},
             "Invited (Proceeding)"},
            {"CANCEL", [](Answer& a) { a.cancel(); }, {"200 OK", "487 Request Terminated"}, {kEventCanceled}, "gone"},
        },
        {
            {"BYE before the ACK", [=](Answer& a) { answered(a); a.bye(Answer::kInviteSeqNo + 1); },
             {kOk, "200 OK"}, {kEventInvited, kEventSentInviteFinalResponse, kEventReceivedBye}, "gone"},
            {"no 2xx after it", advance(500ms), {}, {}, "gone"},
        },
        {
            {"the 2xx cannot be sent", [=](Answer& a) { answered(a); a.settle(); a.responseTransportError(); },
             {kOk}, {kEventInvited, kEventSentInviteFinalResponse, kEventInviteResponseTransportError}, "gone"},
            {"and is not sent again", advance(500ms), {}, {}, "gone"},
        },
        {
            {"BYE while a re-INVITE waits",
             [=](Answer& a) { answered(a); a.ack(); a.peerReInvite(6); a.bye(7); },
             {kOk, "487 Request Terminated", "200 OK"},
             {kEventInvited, kEventSentInviteFinalResponse, kEventAcked, kEventReInvited, kEventReceivedBye}, "gone"},
        },
        {
            {"an INVITE the user agent does not take leaves nothing",
             [](Answer& a) {
                 a.sessions.refusedEvent = kEventInvited;
                 a.invite();
                 EXPECT_EQ(a.sessions.getDialogCount(), 0u);
             },
             {"500 Server Internal Error"}, {kEventInvited}, "gone"},
        },
        {
            {"the user hangs up an INVITE not answered",
             [](Answer& a) { a.invite(); EXPECT_TRUE(a.sessions.endSession(a.id, nullptr)); }, {"603 Decline"},
             {kEventInvited, kEventSentInviteErrorResponse}, "gone"},
        },
        {
            {"Require: 100rel",
             [](Answer& a) {
                 a.invite("Require: 100rel\n" + kOffer);
                 a.settle();
                 EXPECT_EQ(a.header(SipHeader::Unsupported), "100rel");
             },
             {"420 Bad Extension"}, {}, "gone"},
        },
        {
            {"Supported: 100rel is taken", [](Answer& a) { a.invite("Supported: 100rel, timer\n" + kOffer); }, {},
             {kEventInvited}, "Invited"},
        },
        {
            {"a new INVITE beyond the most dialogs",
             [](Answer& a) {
                 a.sessions.setMaxDialogs(1);
                 a.invite();
                 a.invite(kOffer, "second");
             },
             {"480 Temporarily Unavailable"}, {kEventInvited}, "Invited"},
        },
        {
            {"the peer re-invites", reInvited, {kOk}, reInvitedUp, "ReInvited"},
            {"200 to it", [](Answer& a) { a.respondSession(200, true); }, {kOk}, {kEventSentReInviteFinalResponse},
             "ReInvited Confirmed"},
            {"our re-INVITE asked for before its ACK waits", [](Answer& a) { EXPECT_TRUE(a.reInvite("sendonly")); },
             {}, {}, "ReInvited Confirmed"},
            {"the ACK lets it go", [](Answer& a) { a.ack(6); EXPECT_EQ(lastOffer(a), "v=0\r\na=sendonly\r\n"); },
             {kReInvite}, {kEventReAcked, kEventSentReInvite}, "ReInviting"},
        },
        {
            {"our re-INVITE asked for while the peer's is not answered yet",
             [=](Answer& a) { reInvited(a); EXPECT_TRUE(a.reInvite("sendonly")); }, {kOk}, reInvitedUp, "ReInvited"},
            {"the peer's refused: ours goes", [](Answer& a) { a.respondSession(488); },
             {"488 Not Acceptable Here", kReInvite}, {kEventSentReInviteErrorResponse, kEventSentReInvite},
             "ReInviting"},
        },
        {
            {"our re-INVITE waits for the peer's 200 to get through",
             [=](Answer& a) { reInvitedConfirmed(a); EXPECT_TRUE(a.reInvite("sendonly")); },
             {kOk, kOk},
             {kEventInvited, kEventSentInviteFinalResponse, kEventAcked, kEventReInvited,
              kEventSentReInviteFinalResponse},
             "ReInvited Confirmed"},
            {"the 200 cannot be sent: ours goes", [](Answer& a) { a.settle(); a.responseTransportError(); },
             {kReInvite}, {kEventReInviteResponseTransportError, kEventSentReInvite}, "ReInviting"},
        },
        {
            {"our re-INVITE", [=](Answer& a) { answered(a); a.ack(); ASSERT_TRUE(a.reInvite("sendonly")); },
             {kOk, kReInvite}, {kEventInvited, kEventSentInviteFinalResponse, kEventAcked, kEventSentReInvite},
             "ReInviting"},
            {"491: its retry waits", [](Answer& a) { a.respond(491); }, {}, {kEventReInvitingFailed}, "Acknowledged"},
            {"the peer's re-INVITE is taken meanwhile", [](Answer& a) { a.peerReInvite(6); }, {},
             {kEventReInvited}, "ReInvited"},
            {"200 to it", [](Answer& a) { a.respondSession(200, true); }, {kOk}, {kEventSentReInviteFinalResponse},
             "ReInvited Confirmed"},
            {"its ACK sends ours at once: the retry's timer was stopped",
             [](Answer& a) { a.ack(6); EXPECT_EQ(lastOffer(a), "v=0\r\na=sendonly\r\n"); }, {kReInvite},
             {kEventReAcked, kEventSentReInvite}, "ReInviting"},
        },
        {
            {"our re-INVITE refused with 491",
             [=](Answer& a) { answered(a); a.ack(); ASSERT_TRUE(a.reInvite("sendonly")); a.respond(491); },
             {kOk, kReInvite},
             {kEventInvited, kEventSentInviteFinalResponse, kEventAcked, kEventSentReInvite, kEventReInvitingFailed},
             "Acknowledged"},
            {"a re-INVITE from the peer that is refused meanwhile",
             [](Answer& a) { a.peerReInvite(6, kContact + withBody("application/sdp", "garbage\n")); },
             {"400 Bad Request"}, {}, "Acknowledged"},
            {"the retry within 2 s: this side did not choose the Call-ID",
             [](Answer& a) {
                 a.advance(2s);
                 a.settle();
                 EXPECT_EQ(lastOffer(a), "v=0\r\na=sendonly\r\n");
             },
             {kReInvite}, {kEventReInvitePendingRetry, kEventSentReInvite}, "ReInviting"},
        },
        {
            {"hung up before the ACK: BYE",
             [=](Answer& a) { answered(a); EXPECT_TRUE(a.sessions.endSession(a.id, nullptr)); }, {kOk, "BYE"},
             {kEventInvited, kEventSentInviteFinalResponse, kEventSentBye}, "gone"},
            {"no 2xx after it", advance(500ms), {}, {}, "gone"},
        },
        {
            {"hung up before the re-INVITE's ACK: BYE",
             [=](Answer& a) { reInvitedConfirmed(a); EXPECT_TRUE(a.sessions.endSession(a.id, nullptr)); },
             {kOk, kOk, "BYE"},
             {kEventInvited, kEventSentInviteFinalResponse, kEventAcked, kEventReInvited,
              kEventSentReInviteFinalResponse, kEventSentBye},
             "gone"},
        },
        {
            {"hung up while a re-INVITE is not answered, one of ours waiting: the code given, then BYE",
             [=](Answer& a) {
                 reInvited(a);
                 EXPECT_TRUE(a.reInvite("sendonly"));
                 EXPECT_TRUE(a.sessions.endSession(a.id, nullptr, nullptr, 486));
             },
             {kOk, "486 Busy Here", "BYE"},
             {kEventInvited, kEventSentInviteFinalResponse, kEventAcked, kEventReInvited,
              kEventSentReInviteErrorResponse, kEventSentBye},
             "gone"},
        },
        {
            {"hung up while a re-INVITE is not answered, with no error code: 487, then BYE",
             [=](Answer& a) { reInvited(a); EXPECT_FALSE(a.sessions.endSession(a.id, nullptr, nullptr, 200)); },
             {kOk, "487 Request Terminated", "BYE"}, {kEventInvited, kEventSentInviteFinalResponse, kEventAcked,
                                                      kEventReInvited, kEventSentBye},
             "gone"},
        },
        {refusedWith400("no Contact", withBody("application/sdp", kSdp), "Missing Contact")},
        {refusedWith400("a Contact that does not parse", "Contact: <sip:bob@\n" + withBody("application/sdp", kSdp),
                        "Invalid Contact")},
        {refusedWith400("a Contact that is no SIP URI", "Contact: <tel:+1234>\n" + withBody("application/sdp", kSdp),
                        "Invalid Contact")},
        {refusedWith400("an SDP that does not parse", kContact + withBody("application/sdp", "garbage\n"),
                        "Invalid SDP")},
        {refusedWith400("a Require that does not parse", "Require: 100rel, bad/tag\n" + kOffer, "Invalid Require")},
        {
            {"requests for no dialog",
             [](Answer& a) {
                 a.invite();
                 a.respondSession(180);
                 a.settle();
                 a.outsideDialog("INVITE", kOffer);
                 a.outsideDialog("BYE");
                 a.outsideDialog("ACK");
             },
             {"180 Ringing", "481 Call/Transaction Does Not Exist", "481 Call/Transaction Does Not Exist"}, {kEventInvited, kEventSentInviteProvisionalResponse}, "Invited (Proceeding)"},
        },
    };
}

// Session timers (RFC 4028) on the manual clock. The steps that show when a timer fires: nothing
// at one millisecond before, then the BYE of an expired session.
template <class Fixture>
std::vector<Steps<Fixture>> expiresAfter(std::chrono::milliseconds interval, const char* state = "Acknowledged") {
    return {
        {"not expired a moment before", [=](Fixture& f) { f.advance(interval - 1ms); }, {}, {}, state},
        {"expired: BYE", [](Fixture& f) { f.advance(1ms); }, {"BYE"}, {kEventSentBye, kEventSessionTimerExpired},
         "gone"},
    };
}

template <class Step>
std::vector<Step> join(std::vector<Step> first, const std::vector<Step>& then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

const char* const kOkTimedUac = "200 OK Session-Expires=90;refresher=uac Content-Type=application/sdp";
const char* const kOkTimedUas = "200 OK Session-Expires=90;refresher=uas Content-Type=application/sdp";
const char* const kRefresh = "INVITE Session-Expires=90;refresher=uac Content-Type=application/sdp";

// The peer calls with the session-timer headers given, this side offering the timer with
// startType, and the call is answered and acknowledged.
std::function<void(Answer&)> timedCall(int startType, std::string headers, std::string require = "(none)") {
    return [=](Answer& a) {
        a.sessions.setTermSessionTimerProcessType(1);
        a.sessions.setSessionTimerStartType(startType);
        a.invite(headers + kOffer);
        a.respondSession(200, true);
        a.settle();
        EXPECT_EQ(a.header(SipHeader::Require), require);
        EXPECT_EQ(a.header(SipHeader::Supported), "timer");
        a.ack();
    };
}

const std::vector<int> kAnsweredAcked{kEventInvited, kEventSentInviteFinalResponse, kEventAcked};

std::vector<std::vector<AnswerStep>> answeringTimerScenarios() {
    const auto advance = [](std::chrono::milliseconds step) { return [step](Answer& a) { a.advance(step); }; };
    const std::string peerRefreshes = "Supported: timer\nSession-Expires: 90;refresher=uac\n";
    const std::string weRefresh = "Supported: timer\nSession-Expires: 90;refresher=uas\n";
    const std::string refreshAnswer =
        "Require: timer\nSession-Expires: 90;refresher=uac\n" + kContact + withBody("application/sdp", kSdp);
    return {
        join<AnswerStep>(
            {
                {"start type 1, the caller refreshes: Require in the 2xx", timedCall(1, peerRefreshes, "timer"),
                 {kOkTimedUac}, kAnsweredAcked, "Acknowledged"},
                {"no refresh of ours", advance(79s), {}, {}, "Acknowledged"},
                {"the caller's refresh restarts the interval",
                 [=](Answer& a) {
                     a.inDialog("INVITE", 6, peerRefreshes + kOffer);
                     a.settle();
                     a.respondSession(200, true);
                     a.ack(6);
                 },
                 {kOkTimedUac}, {kEventReInvited, kEventSentReInviteFinalResponse, kEventReAcked}, "Acknowledged"},
            },
            expiresAfter<Answer>(80s)),
        join<AnswerStep>(
            {
                {"start type 1, this side refreshes", timedCall(1, weRefresh), {kOkTimedUas}, kAnsweredAcked,
                 "Acknowledged"},
                {"not before half the interval", advance(44999ms), {}, {}, "Acknowledged"},
                {"the refresh re-INVITE at 45 s", advance(1ms), {kRefresh}, {kEventSentReInvite, kEventSessionRefresh},
                 "ReInviting"},
                {"its 2xx is acknowledged by the session, unreported",
                 [=](Answer& a) { a.respond(200, refreshAnswer); }, {"ACK"}, {kEventSentAck}, "Acknowledged"},
                {"the next refresh 45 s on", advance(45s), {kRefresh}, {kEventSentReInvite, kEventSessionRefresh},
                 "ReInviting"},
            },
            expiresAfter<Answer>(35s, "ReInviting")),
        {
            {"start type 0 and a caller that only supports the timer: no timer",
             timedCall(0, peerRefreshes), {kOk}, kAnsweredAcked, "Acknowledged"},
            {"no refresh, no expiry", advance(200s), {}, {}, "Acknowledged"},
        },
        join<AnswerStep>(
            {
                {"start type 0 and a caller that requires it",
                 timedCall(0, "Require: timer\nSupported: timer\nSession-Expires: 90\n", "timer"), {kOkTimedUac},
                 kAnsweredAcked, "Acknowledged"},
            },
            expiresAfter<Answer>(80s)),
        join<AnswerStep>(
            {
                {"start type 2 without the caller's timer: the interval of the answer, this side refreshes",
                 [](Answer& a) {
                     a.sessionTimer.sessionExpires = 90;
                     timedCall(2, "")(a);
                 },
                 {kOkTimedUas}, kAnsweredAcked, "Acknowledged"},
                {"the refresh at 45 s", advance(45s), {kRefresh}, {kEventSentReInvite, kEventSessionRefresh},
                 "ReInviting"},
            },
            expiresAfter<Answer>(35s, "ReInviting")),
        join<AnswerStep>(
            {
                {"the caller refreshes by UPDATE", timedCall(1, peerRefreshes, "timer"), {kOkTimedUac},
                 kAnsweredAcked, "Acknowledged"},
                {"its UPDATE at 40 s",
                 [=](Answer& a) {
                     a.advance(40s);
                     a.inDialog("UPDATE", 6, peerRefreshes + kContact + "Content-Length: 0\n\n");
                 },
                 {}, {kEventUpdated}, "Acknowledged"},
                {"our 2xx carries the interval and restarts it",
                 [](Answer& a) {
                     SessionResponse ok;
                     ok.statusCode = 200;
                     ASSERT_TRUE(a.sessions.respondUpdate(a.id, ok));
                 },
                 {"200 OK Session-Expires=90;refresher=uac"}, {kEventSentUpdateFinalResponse}, "Acknowledged"},
            },
            expiresAfter<Answer>(80s)),
        {
            {"an UPDATE whose Session-Expires does not parse",
             [=](Answer& a) {
                 timedCall(1, peerRefreshes, "timer")(a);
                 a.inDialog("UPDATE", 6, "Supported: timer\nSession-Expires: soon\n" + kContact + "Content-Length: 0\n\n");
                 a.settle();
                 EXPECT_EQ(a.header(SipHeader::ReasonPhrase), "Invalid Session-Expires header");
             },
             {kOkTimedUac, "400 Bad Request"}, kAnsweredAcked, "Acknowledged"},
            {"an UPDATE below its own Min-SE",
             [](Answer& a) {
                 a.inDialog("UPDATE", 7,
                            "Supported: timer\nSession-Expires: 60\nMin-SE: 90\n" + kContact + "Content-Length: 0\n\n");
             },
             {"422 Session Interval Too Small Min-SE=90"}, {}, "Acknowledged"},
        },
        {
            {"an interval beyond 32 bits of milliseconds does not wrap",
             [](Answer& a) {
                 timedCall(1, "Supported: timer\nSession-Expires: 4294967295;refresher=uac\n", "timer")(a);
             },
             {"200 OK Session-Expires=2147483647;refresher=uac Content-Type=application/sdp"}, kAnsweredAcked,
             "Acknowledged"},
            {"no expiry within a day", advance(24h), {}, {}, "Acknowledged"},
        },
        {
            {"Require: timer with the timer off",
             [](Answer& a) {
                 a.invite("Require: timer\nSession-Expires: 90\n" + kOffer);
                 a.settle();
                 EXPECT_EQ(a.header(SipHeader::Unsupported), "timer");
             },
             {"420 Bad Extension"}, {}, "gone"},
        },
        {
            {"Session-Expires 60 below the caller's Min-SE 90",
             [](Answer& a) {
                 a.sessions.setTermSessionTimerProcessType(1);
                 a.invite("Supported: timer\nSession-Expires: 60\nMin-SE: 90\n" + kOffer);
             },
             {"422 Session Interval Too Small Min-SE=90"}, {}, "gone"},
        },
        {
            {"Session-Expires 60 below our Min-SE 90",
             [](Answer& a) {
                 a.sessions.setTermSessionTimerProcessType(1);
                 a.sessions.setMinSE(90);
                 a.invite("Supported: timer\nSession-Expires: 60\n" + kOffer);
             },
             {"422 Session Interval Too Small Min-SE=90"}, {}, "gone"},
        },
        {refusedWith400("a Session-Expires that does not parse", "Supported: timer\nSession-Expires: soon\n" + kOffer,
                        "Invalid Session-Expires header")},
        {refusedWith400("a Min-SE beyond 32 bits", "Supported: timer\nSession-Expires: 90\nMin-SE: 99999999999\n" + kOffer,
                        "Invalid Min-SE header")},
    };
}

TEST(SipSessionController, AnsweringSideRunsTheSessionTimerItAgreed) {
    runScenarios<Answer>(answeringTimerScenarios());
}

// The calling side offers Session-Expires interval with this side as refresher, the peer's 2xx
// carries answer.
std::function<void(Call&)> timedInvite(int startType, int interval, std::string answer) {
    return [=](Call& c) {
        c.sessions.setSessionTimerStartType(startType);
        c.sessionTimer = {1, std::nullopt, interval, SipSessionExpires::RefresherUac};
        c.invite();
        c.respond(200, answer + kContact + withBody("application/sdp", kSdp));
        c.settle();
        ASSERT_TRUE(c.sessions.acknowledge(c.id, {}));
    };
}

const std::vector<int> kCallUp{kEventSentInvite, kEventInvitingConfirmed, kEventSentAck};
const char* const kUpdateRefresh = "UPDATE Session-Expires=90;refresher=uac";

std::vector<std::vector<Step>> callingTimerScenarios() {
    const auto advance = [](std::chrono::milliseconds step) { return [step](Call& c) { c.advance(step); }; };
    const std::string weRefresh = "Require: timer\nSession-Expires: 90;refresher=uac\n";
    return {
        join<Step>(
            {
                {"start type 0, a 2xx requiring the timer, this side refreshes",
                 timedInvite(0, 90, weRefresh), {kRefresh, "ACK"}, kCallUp, "Acknowledged"},
                {"not before half the interval", advance(44999ms), {}, {}, "Acknowledged"},
                {"the refresh at 45 s", advance(1ms), {kRefresh}, {kEventSentReInvite, kEventSessionRefresh},
                 "ReInviting"},
                {"its 180 is not reported", [](Call& c) { c.respond(180); }, {}, {}, "ReInviting (Provisoned)"},
                {"its 2xx is acknowledged by the session",
                 [=](Call& c) { c.respond(200, weRefresh + kContact + withBody("application/sdp", kSdp)); }, {"ACK"},
                 {kEventSentAck}, "Acknowledged"},
                {"the first interval's expiry is gone", advance(40s), {}, {}, "Acknowledged"},
                {"the user's re-INVITE carries the interval too",
                 [](Call& c) { ASSERT_TRUE(c.reInvite("sendonly")); }, {kRefresh}, {kEventSentReInvite}, "ReInviting"},
                {"and its refusal is reported", [](Call& c) { c.respond(488); }, {}, {kEventReInvitingFailed},
                 "Acknowledged"},
            },
            // 80 s after the refresh's 2xx, which came 40 s ago; the refresh at 45 s goes first.
            {
                {"the next refresh", advance(5s), {kRefresh}, {kEventSentReInvite, kEventSessionRefresh}, "ReInviting"},
                {"unanswered: BYE 80 s after the last 2xx", advance(35s), {"BYE"},
                 {kEventSentBye, kEventSessionTimerExpired}, "gone"},
            }),
        join<Step>(
            {
                {"refresh by UPDATE",
                 [=](Call& c) {
                     c.sessions.setUseUpdateSessionRefresh(true);
                     timedInvite(0, 90, weRefresh)(c);
                 },
                 {kRefresh, "ACK"}, kCallUp, "Acknowledged"},
                {"the UPDATE at 45 s, without body", advance(45s), {kUpdateRefresh},
                 {kEventSentUpdate, kEventSessionRefresh}, "Acknowledged"},
                {"its 2xx restarts the interval",
                 [=](Call& c) { c.answerLast("UPDATE", 200, weRefresh + kContact + "Content-Length: 0\n\n"); }, {},
                 {kEventUpdatingSucceeded}, "Acknowledged"},
                {"the next UPDATE 45 s on", advance(45s), {kUpdateRefresh}, {kEventSentUpdate, kEventSessionRefresh},
                 "Acknowledged"},
            },
            expiresAfter<Call>(35s)),
        join<Step>(
            {
                {"start type 1, a 2xx that supports it, the peer refreshes",
                 timedInvite(1, 90, "Supported: timer\nSession-Expires: 90;refresher=uas\n"), {kRefresh, "ACK"},
                 kCallUp, "Acknowledged"},
            },
            expiresAfter<Call>(80s)),
        {
            {"start type 0, a 2xx that only supports it: no timer",
             timedInvite(0, 90, "Supported: timer\nSession-Expires: 90;refresher=uas\n"), {kRefresh, "ACK"},
             kCallUp, "Acknowledged"},
            {"no refresh, no expiry", advance(200s), {}, {}, "Acknowledged"},
        },
        {
            {"start type 2, a 2xx without the timer: the interval offered, this side refreshes",
             timedInvite(2, 90, ""), {kRefresh, "ACK"}, kCallUp, "Acknowledged"},
            {"the refresh at 45 s", advance(45s), {kRefresh}, {kEventSentReInvite, kEventSessionRefresh}, "ReInviting"},
        },
        join<Step>(
            {
                {"Session-Expires 20", timedInvite(0, 20, "Require: timer\nSession-Expires: 20;refresher=uac\n"),
                 {"INVITE Session-Expires=20;refresher=uac Content-Type=application/sdp", "ACK"}, kCallUp,
                 "Acknowledged"},
                {"the refresh at 10 s", advance(10s),
                 {"INVITE Session-Expires=20;refresher=uac Content-Type=application/sdp"},
                 {kEventSentReInvite, kEventSessionRefresh}, "ReInviting"},
                {"refused, unreported", [](Call& c) { c.respond(500); }, {}, {}, "Acknowledged"},
            },
            // 20 - 20 / 3 = 14 s after the 2xx.
            expiresAfter<Call>(4s)),
    };
}

TEST(SipSessionController, CallingSideRunsTheSessionTimerOfThe2xx) {
    runScenarios<Call>(callingTimerScenarios());
}

// RFC 3261 section 9.1: the CANCEL is the INVITE's, on its branch, to where it went.
void expectCancelOfInvite(Call& c) {
    const SentMessage cancel = c.last("CANCEL");
    const SentMessage invite = c.last("INVITE");
    ASSERT_TRUE(cancel.message);
    EXPECT_EQ(cancel.message->vias.front().getBranch(), invite.message->vias.front().getBranch());
    EXPECT_EQ(cancel.message->cseq.getNumber(), invite.message->cseq.getNumber());
    EXPECT_EQ(cancel.message->requestUri.toString(), invite.message->requestUri.toString());
    EXPECT_EQ(cancel.message->to.tag, invite.message->to.tag);
    EXPECT_EQ(cancel.message->peer, invite.message->peer);
}

void expectInviteDeleted(Call& c) { EXPECT_TRUE(c.inviteDeleted()); }

std::vector<std::vector<Step>> cancelAndReInviteScenarios() {
    const auto acknowledged = [](Call& c) {
        c.invite();
        c.respond(200, kContact + withBody("application/sdp", kSdp));
        c.settle();
        acknowledge(c);
    };
    const std::vector<int> callUp{kEventSentInvite, kEventInvitingConfirmed, kEventSentAck};
    const auto reInviting = [=](Call& c) { acknowledged(c); ASSERT_TRUE(c.reInvite("sendonly")); };
    const std::vector<int> reInviteUp{kEventSentInvite, kEventInvitingConfirmed, kEventSentAck, kEventSentReInvite};
    const auto cancelTimeout = [](Call& c, int milliseconds) { c.sessions.setCancelTimeout(milliseconds); };
    return {
        {
            {"hung up before any response", [](Call& c) { c.invite(); EXPECT_TRUE(c.hangUp()); }, {kInvite},
             {kEventSentInvite}, "Inviting (Canceling)"},
            {"hung up again: still nothing to cancel", [](Call& c) { EXPECT_TRUE(c.hangUp()); }, {}, {},
             "Inviting (Canceling)"},
            {"the 100 lets the CANCEL go", [](Call& c) { c.respond(100); c.settle(); expectCancelOfInvite(c); },
             {"CANCEL"}, {kEventSentCancel}, "Inviting (Canceling)"},
            {"hung up once more: sent already", [](Call& c) { EXPECT_TRUE(c.hangUp()); }, {}, {},
             "Inviting (Canceling)"},
            {"a time-out of the CANCEL changes nothing",
             [](Call& c) { ASSERT_TRUE(c.fake.injectClientTimeout(c.last("CANCEL").transactionId)); }, {}, {},
             "Inviting (Canceling)"},
            {"487", [](Call& c) { c.respond(487); }, {}, {kEventInvitingFailed}, "gone"},
        },
        {
            {"hung up before any response, with all three timers",
             [](Call& c) { c.invite(2, 3, 1); EXPECT_TRUE(c.hangUp()); }, {kInvite}, {kEventSentInvite},
             "Inviting (Canceling)"},
            {"the Invite and NoAnswer timers are stopped", [](Call& c) { c.advance(3s); }, {}, {},
             "Inviting (Canceling)"},
            {"a 180 first lets the CANCEL go", [](Call& c) { c.respond(180); c.settle(); expectCancelOfInvite(c); },
             {"CANCEL"}, {kEventSentCancel, kEventInvitingProceeding}, "Inviting (Canceling)"},
            {"a 200 crosses the CANCEL: ACK and BYE", [](Call& c) { c.respond(200); }, {"ACK", "BYE"},
             {kEventSentAck, kEventSentBye}, "gone"},
        },
        {
            {"a 200 to a CANCEL held back: ACK and BYE",
             [](Call& c) { c.invite(); EXPECT_TRUE(c.hangUp()); c.respond(200); }, {kInvite, "ACK", "BYE"},
             {kEventSentInvite, kEventSentAck, kEventSentBye}, "gone"},
        },
        {
            {"a 486 to a CANCEL held back ends the call",
             [](Call& c) { c.invite(); EXPECT_TRUE(c.hangUp()); c.respond(486); }, {kInvite},
             {kEventSentInvite, kEventInvitingFailed}, "gone"},
        },
        {
            {"CANCEL after 180", [=](Call& c) {
                 cancelTimeout(c, 1000);
                 c.invite();
                 c.respond(180);
                 c.settle();
                 EXPECT_TRUE(c.hangUp());
             },
             {kInvite, "CANCEL"}, {kEventSentInvite, kEventInvitingProceeding, kEventSentCancel},
             "Inviting (Canceling)"},
            {"no final response before the Cancel timer", [](Call& c) { c.advance(999ms); c.settle(); c.advance(1ms); },
             {}, {kEventCancelTimeout}, "gone"},
        },
        {
            {"a CANCEL held back, no response before the Cancel timer", [=](Call& c) {
                 cancelTimeout(c, 1000);
                 c.invite();
                 EXPECT_TRUE(c.hangUp());
                 c.settle();
                 c.advance(1s);
                 c.settle();
                 expectInviteDeleted(c);
             },
             {kInvite}, {kEventSentInvite, kEventCancelTimeout}, "gone"},
        },
        {
            {"NoAnswer timer without any response", [](Call& c) {
                 c.invite(0, 2);
                 c.settle();
                 c.advance(2s);
                 c.settle();
                 expectInviteDeleted(c);
             },
             {kInvite}, {kEventSentInvite, kEventNoAnswerTimeout}, "gone"},
        },
        {
            {"hold", reInviting, {kInvite, "ACK", kReInvite}, reInviteUp, "ReInviting"},
            {"100", [](Call& c) { c.respond(100); }, {}, {}, "ReInviting (Provisoned)"},
            {"the peer's re-INVITE crossing ours", [](Call& c) { c.peerRequest("INVITE", kContact); },
             {"491 Request Pending"}, {}, "ReInviting (Provisoned)"},
            {"180 with a Record-Route", [](Call& c) {
                 c.respond(180, "Record-Route: <sip:proxy.test;lr>\n" + kContact + "Content-Length: 0\n\n");
             },
             {}, {kEventReInvitingProceeding}, "ReInviting (Provisoned)"},
            {"200 with a new Contact",
             [](Call& c) { c.respond(200, "Contact: <sip:bob@10.0.0.3:5090>\n" + withBody("application/sdp", kSdp)); },
             {}, {kEventReInvitingConfirmed}, "ReInviting Confirmed"},
            {"200 again before the ACK", [](Call& c) { c.respondStray("remote1"); }, {}, {}, "ReInviting Confirmed"},
            {"a re-INVITE from the peer before our ACK", [](Call& c) { c.peerRequest("INVITE", kContact); },
             {"491 Request Pending"}, {}, "ReInviting Confirmed"},
            {"ACK to the new target, on the route set of the call", [](Call& c) {
                 ASSERT_TRUE(c.sessions.acknowledge(c.id, {}));
                 const SentMessage ack = c.last("ACK");
                 ASSERT_TRUE(ack.message);
                 EXPECT_EQ(ack.message->cseq.getNumber(), c.last("INVITE").message->cseq.getNumber());
                 EXPECT_EQ(ack.message->requestUri.toString(), "sip:bob@10.0.0.3:5090");
                 EXPECT_TRUE(ack.message->routes.empty());
             },
             {"ACK"}, {kEventSentAck}, "Acknowledged"},
            {"200 again: the same ACK", [](Call& c) { c.respondStray("remote1"); }, {"ACK"}, {}, "Acknowledged"},
            {"and back", [](Call& c) { ASSERT_TRUE(c.reInvite("sendrecv")); EXPECT_EQ(lastOffer(c), "v=0\r\na=sendrecv\r\n"); },
             {kReInvite}, {kEventSentReInvite}, "ReInviting"},
            {"refused", [](Call& c) { c.respond(488); }, {}, {kEventReInvitingFailed}, "Acknowledged"},
            {"BYE", [](Call& c) { EXPECT_TRUE(c.hangUp()); }, {"BYE"}, {kEventSentBye}, "gone"},
        },
        {
            {"no re-INVITE before the call is up",
             [](Call& c) { c.invite(); EXPECT_FALSE(c.reInvite("sendonly")); }, {kInvite}, {kEventSentInvite},
             "Inviting"},
        },
        {
            {"a re-INVITE asked for while one runs waits", [=](Call& c) {
                 reInviting(c);
                 EXPECT_TRUE(c.reInvite("inactive"));
             },
             {kInvite, "ACK", kReInvite}, reInviteUp, "ReInviting"},
            {"200", [](Call& c) { c.respond(200, kContact + withBody("application/sdp", kSdp)); }, {},
             {kEventReInvitingConfirmed}, "ReInviting Confirmed"},
            {"the ACK lets it go", [](Call& c) {
                 ASSERT_TRUE(c.sessions.acknowledge(c.id, {}));
                 EXPECT_EQ(lastOffer(c), "v=0\r\na=inactive\r\n");
             },
             {"ACK", kReInvite}, {kEventSentAck, kEventSentReInvite}, "ReInviting"},
        },
        {
            {"a re-INVITE asked for while one runs", [=](Call& c) {
                 reInviting(c);
                 EXPECT_TRUE(c.reInvite("inactive"));
             },
             {kInvite, "ACK", kReInvite}, reInviteUp, "ReInviting"},
            {"goes out when the running one fails",
             [](Call& c) { c.respond(500); c.settle(); EXPECT_EQ(lastOffer(c), "v=0\r\na=inactive\r\n"); },
             {kReInvite}, {kEventReInvitingFailed, kEventSentReInvite}, "ReInviting"},
        },
        {
            {"glare", reInviting, {kInvite, "ACK", kReInvite}, reInviteUp, "ReInviting"},
            {"491", [](Call& c) { c.respond(491); }, {}, {kEventReInvitingFailed}, "Acknowledged"},
            {"no retry before 2.1 s", [](Call& c) { c.advance(2099ms); }, {}, {}, "Acknowledged"},
            {"the retry by 4 s", [](Call& c) {
                 c.advance(1901ms);
                 c.settle();
                 EXPECT_EQ(lastOffer(c), "v=0\r\na=sendonly\r\n");
             },
             {kReInvite}, {kEventReInvitePendingRetry, kEventSentReInvite}, "ReInviting"},
            {"491 again", [](Call& c) { c.respond(491); c.settle(); c.advance(4s); }, {kReInvite},
             {kEventReInvitingFailed, kEventReInvitePendingRetry, kEventSentReInvite}, "ReInviting"},
            {"and again", [](Call& c) { c.respond(491); c.settle(); c.advance(4s); }, {kReInvite},
             {kEventReInvitingFailed, kEventReInvitePendingRetry, kEventSentReInvite}, "ReInviting"},
            {"the peer that always refuses is given up", [](Call& c) { c.respond(491); c.settle(); c.advance(4s); },
             {}, {kEventReInvitingFailed}, "Acknowledged"},
        },
        {
            {"glare", reInviting, {kInvite, "ACK", kReInvite}, reInviteUp, "ReInviting"},
            {"491", [](Call& c) { c.respond(491); }, {}, {kEventReInvitingFailed}, "Acknowledged"},
            {"a new re-INVITE while the retry waits goes at once",
             [](Call& c) { ASSERT_TRUE(c.reInvite("inactive")); }, {kReInvite}, {kEventSentReInvite}, "ReInviting"},
        },
        {
            {"re-INVITE provisioned", [=](Call& c) { reInviting(c); c.respond(100); }, {kInvite, "ACK", kReInvite},
             reInviteUp, "ReInviting (Provisoned)"},
            {"CANCEL of the re-INVITE", [=](Call& c) {
                 cancelTimeout(c, 1000);
                 ASSERT_TRUE(c.sessions.withDialog(c.id, [](SipSessionDialog& d) { return d.session()->sendCancel(nullptr); }));
                 expectCancelOfInvite(c);
             },
             {"CANCEL"}, {kEventSentCancel}, "ReInviting (Canceling)"},
            {"the Cancel timer keeps the call", [](Call& c) { c.advance(1s); }, {}, {kEventCancelTimeout},
             "Acknowledged"},
        },
        {
            {"re-INVITE canceled", [=](Call& c) {
                 reInviting(c);
                 c.respond(180);
                 c.settle();
                 ASSERT_TRUE(c.sessions.withDialog(c.id, [](SipSessionDialog& d) { return d.session()->sendCancel(nullptr); }));
             },
             {kInvite, "ACK", kReInvite, "CANCEL"},
             {kEventSentInvite, kEventInvitingConfirmed, kEventSentAck, kEventSentReInvite, kEventReInvitingProceeding,
              kEventSentCancel},
             "ReInviting (Canceling)"},
            {"487 keeps the call", [](Call& c) { c.respond(487); }, {}, {kEventReInvitingFailed}, "Acknowledged"},
        },
        {
            {"re-INVITE unanswered before its Invite timer", [=](Call& c) {
                 acknowledged(c);
                 ASSERT_TRUE(c.reInvite("sendonly", 2));
                 c.settle();
                 c.advance(2s);
                 c.settle();
                 expectInviteDeleted(c);
             },
             {kInvite, "ACK", kReInvite}, {kEventSentInvite, kEventInvitingConfirmed, kEventSentAck,
                                           kEventSentReInvite, kEventInviteTimeout},
             "Acknowledged"},
        },
        {
            {"re-INVITE transaction time-out", [=](Call& c) { reInviting(c); c.timeOut(); },
             {kInvite, "ACK", kReInvite},
             {kEventSentInvite, kEventInvitingConfirmed, kEventSentAck, kEventSentReInvite,
              kEventReInvitingTransactionTimeout},
             "Acknowledged"},
            {"transport error of the next", [](Call& c) { ASSERT_TRUE(c.reInvite("sendrecv")); c.transportError(); },
             {kReInvite}, {kEventSentReInvite, kEventReInvitingTransportError}, "Acknowledged"},
        },
        {
            {"hung up while re-inviting: BYE", [=](Call& c) { reInviting(c); EXPECT_TRUE(c.hangUp()); },
             {kInvite, "ACK", kReInvite, "BYE"},
             {kEventSentInvite, kEventInvitingConfirmed, kEventSentAck, kEventSentReInvite, kEventSentBye}, "gone"},
        },
        {
            {"hung up before the re-INVITE's ACK: BYE", [=](Call& c) {
                 reInviting(c);
                 c.respond(200, kContact + withBody("application/sdp", kSdp));
                 c.settle();
                 EXPECT_TRUE(c.hangUp());
             },
             {kInvite, "ACK", kReInvite, "BYE"},
             {kEventSentInvite, kEventInvitingConfirmed, kEventSentAck, kEventSentReInvite, kEventReInvitingConfirmed,
              kEventSentBye},
             "gone"},
        },
        {
            {"a re-INVITE's 2xx with an unparsable SDP ends the call, not the waiting re-INVITE", [=](Call& c) {
                 reInviting(c);
                 EXPECT_TRUE(c.reInvite("inactive"));
                 c.respond(200, kContact + withBody("application/sdp", "garbage\n"));
             },
             {kInvite, "ACK", kReInvite, "ACK", "BYE"},
             {kEventSentInvite, kEventInvitingConfirmed, kEventSentAck, kEventSentReInvite, kEventSentAck,
              kEventSentBye, kEventReInvitingFailed},
             "gone"},
        },
    };
}

TEST(SipSessionController, ScriptedPeerDrivesTheAnsweringSideThroughItsStates) {
    runScenarios<Answer>(answeringScenarios());
}

TEST(SipSessionController, CancelAndReInviteFollowTheirResponsesAndTimers) {
    runScenarios<Call>(cancelAndReInviteScenarios());
}

TEST(SipSessionController, GlareRetryDelayStaysInItsWindowInStepsOfTenMilliseconds) {
    struct Case {
        bool ownsCallId;
        int low;
        int high;
    };
    for (const Case& c : {Case{true, 2100, 4000}, Case{false, 0, 2000}}) {
        int lowest = c.high;
        int highest = c.low;
        for (int i = 0; i < 2000; ++i) {
            const int delay = glareRetryDelay(c.ownsCallId);
            ASSERT_GE(delay, c.low);
            ASSERT_LE(delay, c.high);
            ASSERT_EQ(delay % 10, 0);
            lowest = std::min(lowest, delay);
            highest = std::max(highest, delay);
        }
        // The whole window is drawn from, not a part of it.
        EXPECT_LE(lowest, c.low + 100) << c.ownsCallId;
        EXPECT_GE(highest, c.high - 100) << c.ownsCallId;
    }
}

// A provisional response of the peer sent reliably with rseq (RFC 3262).
std::string reliably(long long rseq) {
    return "Require: 100rel\nRSeq: " + std::to_string(rseq) + "\n" + kContact + "Content-Length: 0\n\n";
}

// The last PRACK acknowledges rseq of the INVITE, in the early dialog, with a CSeq of its own.
void expectPrAckOf(Call& c, long long rseq) {
    const SentMessage prack = c.last("PRACK");
    const SentMessage invite = c.last("INVITE");
    ASSERT_TRUE(prack.message);
    const std::string* rack = prack.message->getHeader(SipHeader::RAck, HeaderListBase::Position::First);
    ASSERT_NE(rack, nullptr);
    EXPECT_EQ(*rack, std::to_string(rseq) + " " + std::to_string(invite.message->cseq.getNumber()) + " INVITE");
    EXPECT_EQ(prack.message->to.tag, "remote1");
    EXPECT_GT(prack.message->cseq.getNumber(), invite.message->cseq.getNumber());
}

bool update(Harness& h, const std::string& body = kSdp) {
    UpdateOrder order;
    order.body = body;
    return h.sessions.update(h.id, order);
}

SessionResponse final(int code, const std::string& body = {}) {
    SessionResponse response;
    response.statusCode = code;
    response.body = body;
    return response;
}

const char* const kUpdate = "UPDATE Content-Type=application/sdp";

// The CSeq number of the last response to a request of methodKind we sent.
int lastResponseCSeq(Harness& h, int methodKind) {
    const std::vector<SentMessage> all = h.fake.sent();
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        if (it->kind != SentMessage::Request && it->message->cseq.getMethodKind() == methodKind)
            return it->message->cseq.getNumber();
    return -1;
}

std::vector<std::vector<Step>> reliableAndUpdateCallingScenarios() {
    const auto offering = [](int type) {
        return [type](Call& c) {
            c.relProcessType = type;
            c.invite();
            const SentMessage invite = c.last("INVITE");
            EXPECT_TRUE(invite.message->hasOptionTag(SipHeader::Supported, "100rel"));
            EXPECT_EQ(invite.message->hasOptionTag(SipHeader::Require, "100rel"), type == 2);
        };
    };
    const auto provisional = [](int code, long long rseq) { return [=](Call& c) { c.respond(code, reliably(rseq)); }; };
    const auto prAcked = [](long long rseq) {
        return [rseq](Call& c) { c.respond(180, reliably(rseq)); c.settle(); expectPrAckOf(c, rseq); };
    };
    const auto acknowledged = [](Call& c) {
        c.invite();
        c.respond(200, kContact + withBody("application/sdp", kSdp));
        c.settle();
        acknowledge(c);
    };
    const std::vector<int> callUp{kEventSentInvite, kEventInvitingConfirmed, kEventSentAck};
    return {
        {
            {"INVITE offering 100rel", offering(1), {kInvite}, {kEventSentInvite}, "Inviting"},
            {"a reliable 180 with RSeq 5 is acknowledged", prAcked(5), {"PRACK"},
             {kEventInvitingProceeding, kEventSentPrAck}, "Inviting (Provisoned)"},
            {"provisional responses while the PRACK runs are ignored", provisional(183, 6), {}, {},
             "Inviting (Provisoned)"},
            {"200 to the PRACK", [](Call& c) { c.answerLast("PRACK", 200); }, {}, {kEventPrAckingSucceeded},
             "Inviting (Provisoned)"},
            {"RSeq 6 follows", prAcked(6), {"PRACK"}, {kEventInvitingProceeding, kEventSentPrAck},
             "Inviting (Provisoned)"},
            {"200 to that PRACK", [](Call& c) { c.answerLast("PRACK", 200); }, {}, {kEventPrAckingSucceeded},
             "Inviting (Provisoned)"},
            {"RSeq 8 skips one: ignored", provisional(180, 8), {}, {}, "Inviting (Provisoned)"},
            {"RSeq 6 again: ignored", provisional(180, 6), {}, {}, "Inviting (Provisoned)"},
            {"a provisional without 100rel is only reported", [](Call& c) { c.respond(180); }, {},
             {kEventInvitingProceeding}, "Inviting (Provisoned)"},
            {"200", [](Call& c) { c.respond(200, kContact + withBody("application/sdp", kSdp)); }, {},
             {kEventInvitingConfirmed}, "Inviting Confirmed"},
        },
        {
            {"with the order checks off RSeq 8 after 5 is acknowledged",
             [=](Call& c) {
                 c.sessions.setSkipSeqNoChecks(true);
                 offering(2)(c);
                 prAcked(5)(c);
                 c.answerLast("PRACK", 200);
                 c.settle();
                 prAcked(8)(c);
             },
             {kInvite, "PRACK", "PRACK"},
             {kEventSentInvite, kEventInvitingProceeding, kEventSentPrAck, kEventPrAckingSucceeded,
              kEventInvitingProceeding, kEventSentPrAck},
             "Inviting (Provisoned)"},
            {"a refused PRACK", [](Call& c) { c.answerLast("PRACK", 481); }, {}, {kEventPrAckingFailed},
             "Inviting (Provisoned)"},
            {"RSeq 9 is taken again", prAcked(9), {"PRACK"}, {kEventInvitingProceeding, kEventSentPrAck},
             "Inviting (Provisoned)"},
            {"a PRACK that times out",
             [](Call& c) { ASSERT_TRUE(c.fake.injectClientTimeout(c.last("PRACK").transactionId)); }, {},
             {kEventPrAckingTransactionTimeout}, "Inviting (Provisoned)"},
            {"and the next RSeq is acknowledged", prAcked(10), {"PRACK"},
             {kEventInvitingProceeding, kEventSentPrAck}, "Inviting (Provisoned)"},
        },
        {
            {"Allow built with PRACK and UPDATE",
             [=](Call& c) {
                 c.sessions.setSetAllow(true);
                 c.sessions.setAllowUpdate(true);
                 offering(1)(c);
                 const std::string* allow =
                     c.last("INVITE").message->getHeader(SipHeader::Allow, HeaderListBase::Position::First);
                 ASSERT_NE(allow, nullptr);
                 EXPECT_EQ(*allow, "INVITE,ACK,BYE,CANCEL,PRACK,UPDATE");
             },
             {kInvite}, {kEventSentInvite}, "Inviting"},
        },
        {
            {"a 183 with SDP stops the NoAnswer timer when asked",
             [](Call& c) {
                 c.sessions.setStopNoAnswerOn183Sdp(true);
                 c.invite(0, 2);
                 c.respond(183, kContact + withBody("application/sdp", kSdp));
                 c.settle();
                 c.advance(2s);
             },
             {kInvite}, {kEventSentInvite, kEventInvitingProceeding}, "Inviting (Provisoned)"},
        },
        {
            {"100rel not offered: a reliable 180 gets no PRACK", [=](Call& c) { c.invite(); provisional(180, 1)(c); },
             {kInvite}, {kEventSentInvite, kEventInvitingProceeding}, "Inviting (Provisoned)"},
        },
        {
            {"no UPDATE before the early dialog", [](Call& c) { c.invite(); EXPECT_FALSE(update(c)); }, {kInvite},
             {kEventSentInvite}, "Inviting"},
            {"early UPDATE after a 180",
             [](Call& c) {
                 c.respond(180);
                 c.settle();
                 ASSERT_TRUE(update(c));
                 EXPECT_EQ(c.last("UPDATE").message->to.tag, "remote1");
             },
             {kUpdate}, {kEventInvitingProceeding, kEventSentUpdate}, "Inviting (Provisoned)"},
            {"one UPDATE at a time", [](Call& c) { EXPECT_FALSE(update(c)); }, {}, {}, "Inviting (Provisoned)"},
            {"the peer's UPDATE crosses ours", [](Call& c) { c.peerRequest("UPDATE", kContact); },
             {"491 Request Pending"}, {}, "Inviting (Provisoned)"},
            {"200 to ours with a new Contact",
             [](Call& c) {
                 c.answerLast("UPDATE", 200, "Contact: <sip:bob@10.0.0.3:5090>\n" + withBody("application/sdp", kSdp));
             },
             {}, {kEventUpdatingSucceeded}, "Inviting (Provisoned)"},
            {"the next UPDATE goes to the new target",
             [](Call& c) {
                 ASSERT_TRUE(update(c));
                 EXPECT_EQ(c.last("UPDATE").message->requestUri.toString(), "sip:bob@10.0.0.3:5090");
             },
             {kUpdate}, {kEventSentUpdate}, "Inviting (Provisoned)"},
            {"and is refused", [](Call& c) { c.answerLast("UPDATE", 488); }, {}, {kEventUpdatingFailed},
             "Inviting (Provisoned)"},
            {"the peer's UPDATE", [](Call& c) { c.peerRequest("UPDATE", kContact); }, {}, {kEventUpdated},
             "Inviting (Provisoned)"},
            {"another before it is answered", [](Call& c) { c.peerRequest("UPDATE", kContact); },
             {"500 Server Internal Error"}, {}, "Inviting (Provisoned)"},
            {"no UPDATE of ours while the peer's waits", [](Call& c) { EXPECT_FALSE(update(c)); }, {}, {},
             "Inviting (Provisoned)"},
            {"a 1xx is no answer to it",
             [](Call& c) { EXPECT_FALSE(c.sessions.respondUpdate(c.id, final(180))); }, {}, {},
             "Inviting (Provisoned)"},
            {"answered", [](Call& c) { ASSERT_TRUE(c.sessions.respondUpdate(c.id, final(200, kSdp))); },
             {"200 OK Content-Type=application/sdp"}, {kEventSentUpdateFinalResponse}, "Inviting (Provisoned)"},
        },
        {
            {"UPDATEs crossing in the call",
             [=](Call& c) {
                 acknowledged(c);
                 ASSERT_TRUE(update(c));
                 c.peerRequest("UPDATE", kContact);
             },
             {kInvite, "ACK", kUpdate, "491 Request Pending"},
             {kEventSentInvite, kEventInvitingConfirmed, kEventSentAck, kEventSentUpdate}, "Acknowledged"},
            {"ours is refused 491 too", [](Call& c) { c.answerLast("UPDATE", 491); }, {}, {kEventUpdatingFailed},
             "Acknowledged"},
            {"an UPDATE that times out",
             [](Call& c) {
                 ASSERT_TRUE(update(c));
                 ASSERT_TRUE(c.fake.injectClientTimeout(c.last("UPDATE").transactionId));
             },
             {kUpdate}, {kEventSentUpdate, kEventUpdatingTransactionTimeout}, "Acknowledged"},
            {"the peer's UPDATE waits for its answer", [](Call& c) { c.peerRequest("UPDATE", kContact); }, {},
             {kEventUpdated}, "Acknowledged"},
            {"BYE: the UPDATE is answered 500", [](Call& c) { c.peerBye(); }, {"200 OK", "500 Server Internal Error"},
             {kEventReceivedBye}, "gone"},
        },
        {
            {"INFO in the call", [=](Call& c) { acknowledged(c); c.peerRequest("INFO"); }, {kInvite, "ACK"},
             [&] {
                 std::vector<int> events = callUp;
                 events.push_back(kEventInfoed);
                 return events;
             }(),
             "Acknowledged"},
            {"a second INFO while the first waits: the first is answered 500",
             [](Call& c) {
                 c.peerRequest("INFO");
                 c.settle();
                 EXPECT_EQ(lastResponseCSeq(c, SipMethod::Info), 1);
             },
             {"500 Server Internal Error"}, {kEventInfoed}, "Acknowledged"},
            {"no provisional answer", [](Call& c) { EXPECT_FALSE(c.sessions.sendInfoResponse(c.id, final(100))); },
             {}, {}, "Acknowledged"},
            {"the second is answered",
             [](Call& c) {
                 ASSERT_TRUE(c.sessions.sendInfoResponse(c.id, final(200)));
                 c.settle();
                 EXPECT_EQ(lastResponseCSeq(c, SipMethod::Info), 2);
             },
             {"200 OK"}, {kEventSentInfoFinalResponse}, "Acknowledged"},
            {"nothing left to answer", [](Call& c) { EXPECT_FALSE(c.sessions.sendInfoResponse(c.id, final(200))); },
             {}, {}, "Acknowledged"},
            {"a later INFO is taken and refused by the user agent",
             [](Call& c) {
                 c.peerRequest("INFO");
                 c.settle();
                 ASSERT_TRUE(c.sessions.sendInfoResponse(c.id, final(415)));
             },
             {"415 Unsupported Media Type"}, {kEventInfoed, kEventSentInfoErrorResponse}, "Acknowledged"},
            {"an INFO unanswered when the call ends gets 500",
             [](Call& c) {
                 c.peerRequest("INFO");
                 c.settle();
                 EXPECT_TRUE(c.hangUp());
             },
             {"BYE", "500 Server Internal Error"}, {kEventInfoed, kEventSentBye}, "gone"},
        },
    };
}

TEST(SipSessionController, CallingSideAcknowledgesReliableProvisionalsInOrderAndRunsUpdateAndInfo) {
    runScenarios<Call>(reliableAndUpdateCallingScenarios());
}

// A PRACK from the peer with this RAck.
void prAck(Answer& a, int seqNo, const std::string& rack) {
    a.inDialog("PRACK", seqNo, "RAck: " + rack + "\nContent-Length: 0\n\n");
}

const char* const k481 = "481 Call/Transaction Does Not Exist";

std::vector<std::vector<AnswerStep>> reliableAndUpdateAnsweringScenarios() {
    const auto advance = [](std::chrono::milliseconds step) { return [step](Answer& a) { a.advance(step); }; };
    const auto invited = [](int type, const char* extension) {
        return [=](Answer& a) {
            a.sessions.setTerm100relProcessType(type);
            a.invite(std::string(extension) + "\n" + kOffer);
        };
    };
    const char* const k180 = "180 Ringing RSeq=1";
    return {
        {
            {"INVITE supporting 100rel to process type 2", invited(2, "Supported: 100rel"), {}, {kEventInvited},
             "Invited"},
            {"the 180 goes reliably",
             [](Answer& a) {
                 a.respondSession(180);
                 a.settle();
                 EXPECT_TRUE(a.lastResponse().hasOptionTag(SipHeader::Require, "100rel"));
             },
             {k180}, {kEventSentInviteProvisionalResponse}, "Invited (Proceeding)"},
            {"a 183 waits for its PRACK", [](Answer& a) { a.respondSession(183); }, {}, {}, "Invited (Proceeding)"},
            {"so does the 2xx", [](Answer& a) { EXPECT_FALSE(a.sessions.respondSession(a.id, final(200, kSdp))); },
             {}, {}, "Invited (Proceeding)"},
            {"sent again at T1", advance(500ms), {k180}, {}, "Invited (Proceeding)"},
            {"a PRACK whose RAck does not parse", [](Answer& a) { prAck(a, 6, "bogus"); }, {k481}, {},
             "Invited (Proceeding)"},
            {"a PRACK of an RSeq never sent", [](Answer& a) { prAck(a, 7, "2 5 INVITE"); }, {k481}, {},
             "Invited (Proceeding)"},
            {"a PRACK naming another CSeq", [](Answer& a) { prAck(a, 8, "1 4 INVITE"); }, {k481}, {},
             "Invited (Proceeding)"},
            {"still sent again at 2 T1", advance(1000ms), {k180}, {}, "Invited (Proceeding)"},
            {"the PRACK: 200 and no more retransmissions",
             [](Answer& a) {
                 prAck(a, 9, "1 5 INVITE");
                 a.settle();
                 a.advance(2000ms);
             },
             {"200 OK"}, {kEventPrAcked}, "Invited (Proceeding)"},
            {"the same PRACK again", [](Answer& a) { prAck(a, 10, "1 5 INVITE"); }, {k481}, {},
             "Invited (Proceeding)"},
            {"the next provisional takes the next RSeq", [](Answer& a) { a.respondSession(183); },
             {"183 Session Progress RSeq=2"}, {kEventSentInviteProvisionalResponse}, "Invited (Proceeding)"},
            {"its PRACK", [](Answer& a) { prAck(a, 11, "2 5 INVITE"); }, {"200 OK"}, {kEventPrAcked},
             "Invited (Proceeding)"},
            {"200", [](Answer& a) { a.respondSession(200, true); }, {kOk}, {kEventSentInviteFinalResponse},
             "Invited Confirmed"},
            {"a PRACK after it is refused", [](Answer& a) { prAck(a, 12, "2 5 INVITE"); },
             {"500 Server Internal Error"}, {}, "Invited Confirmed"},
            {"ACK", [](Answer& a) { a.ack(); }, {}, {kEventAcked}, "Acknowledged"},
        },
        {
            {"PRACK withheld", [=](Answer& a) { invited(1, "Require: 100rel")(a); a.respondSession(180); }, {k180},
             {kEventInvited, kEventSentInviteProvisionalResponse}, "Invited (Proceeding)"},
            {"not before T1", advance(499ms), {}, {}, "Invited (Proceeding)"},
            {"T1", advance(1ms), {k180}, {}, "Invited (Proceeding)"},
            {"2 T1 later", advance(1000ms), {k180}, {}, "Invited (Proceeding)"},
            {"4 T1 later", advance(2000ms), {k180}, {}, "Invited (Proceeding)"},
            {"8 T1 later", advance(4000ms), {k180}, {}, "Invited (Proceeding)"},
            {"16 T1 later", advance(8000ms), {k180}, {}, "Invited (Proceeding)"},
            {"32 T1 later, no upper bound", advance(16000ms), {k180}, {}, "Invited (Proceeding)"},
            {"64 T1: 504", advance(500ms), {"504 Server Time-out"},
             {kEventSentInviteErrorResponse, kEventPrAckWaitingTimeout}, "gone"},
        },
        {
            {"no UPDATE of ours before a provisional response", [](Answer& a) { a.invite(); EXPECT_FALSE(update(a)); },
             {}, {kEventInvited}, "Invited"},
            {"our early UPDATE after the 180",
             [](Answer& a) {
                 a.respondSession(180);
                 a.settle();
                 ASSERT_TRUE(update(a));
                 const SentMessage sent = a.last("UPDATE");
                 ASSERT_TRUE(sent.message);
                 EXPECT_EQ(sent.message->to.tag, "remote1");
                 EXPECT_EQ(sent.message->requestUri.toString(), "sip:bob@10.0.0.2:5080");
             },
             {"180 Ringing", kUpdate}, {kEventSentInviteProvisionalResponse, kEventSentUpdate},
             "Invited (Proceeding)"},
            {"the peer's UPDATE crosses it", [](Answer& a) { a.inDialog("UPDATE", 6, kOffer); },
             {"491 Request Pending"}, {}, "Invited (Proceeding)"},
        },
        {
            {"a reliable 180 allows PRACK and INFO",
             [=](Answer& a) {
                 a.sessions.setSetAllow(true);
                 a.sessions.setAllowInfo(true);
                 invited(2, "Supported: 100rel")(a);
                 a.respondSession(180);
                 a.settle();
                 EXPECT_EQ(a.header(SipHeader::Allow), "INVITE,ACK,BYE,CANCEL,PRACK,INFO");
             },
             {k180}, {kEventInvited, kEventSentInviteProvisionalResponse}, "Invited (Proceeding)"},
        },
        {
            {"process type 1 and only Supported: unreliable",
             [=](Answer& a) { invited(1, "Supported: 100rel")(a); a.respondSession(180); a.settle(); a.advance(500ms); },
             {"180 Ringing"}, {kEventInvited, kEventSentInviteProvisionalResponse}, "Invited (Proceeding)"},
        },
        {
            {"a 2xx before the PRACK when the option allows it",
             [=](Answer& a) {
                 a.sessions.setSend2xxBeforePrAck(true);
                 invited(2, "Supported: 100rel")(a);
                 a.respondSession(180);
                 a.respondSession(200, true);
                 a.settle();
                 a.advance(500ms);
             },
             {k180, kOk, kOk}, {kEventInvited, kEventSentInviteProvisionalResponse, kEventSentInviteFinalResponse},
             "Invited Confirmed"},
        },
        {
            {"Process100rel off: a forced type 2 marks the 180 reliable, with RSeq when asked",
             [](Answer& a) {
                 a.sessions.setProcess100rel(false);
                 a.sessions.setAlwaysRSeq(true);
                 a.invite();
                 SessionResponse ringing = final(180);
                 ringing.relProcessType = 2;
                 ASSERT_TRUE(a.sessions.respondSession(a.id, ringing));
                 a.settle();
                 a.advance(500ms);
             },
             {k180}, {kEventInvited, kEventSentInviteProvisionalResponse}, "Invited (Proceeding)"},
            {"its PRACK goes to the user agent", [](Answer& a) { prAck(a, 6, "1 5 INVITE"); }, {}, {kEventPrAcked},
             "Invited (Proceeding)"},
            {"which answers it", [](Answer& a) { ASSERT_TRUE(a.sessions.respondPrAck(a.id, final(200))); },
             {"200 OK"}, {}, "Invited (Proceeding)"},
        },
        {
            {"an early UPDATE with SDP",
             [](Answer& a) {
                 a.invite();
                 a.respondSession(180);
                 a.settle();
                 a.inDialog("UPDATE", 6, kOffer);
             },
             {"180 Ringing"}, {kEventInvited, kEventSentInviteProvisionalResponse, kEventUpdated},
             "Invited (Proceeding)"},
            {"answered with SDP",
             [](Answer& a) {
                 ASSERT_TRUE(a.sessions.respondUpdate(a.id, final(200, kSdp)));
                 a.settle();
                 EXPECT_EQ(a.header(SipHeader::Contact), "<sip:alice@127.0.0.1:5062>");
                 EXPECT_EQ(a.lastResponse().cseq.getNumber(), 6);
             },
             {kOk}, {kEventSentUpdateFinalResponse}, "Invited (Proceeding)"},
            {"an UPDATE whose SDP does not parse", [](Answer& a) {
                 a.inDialog("UPDATE", 7, kContact + withBody("application/sdp", "garbage\n"));
             },
             {"400 Bad Request"}, {}, "Invited (Proceeding)"},
            {"another UPDATE left unanswered, then the user refuses the call",
             [](Answer& a) {
                 a.inDialog("UPDATE", 8, kOffer);
                 a.settle();
                 ASSERT_TRUE(a.sessions.respondSession(a.id, final(486)));
             },
             {"486 Busy Here", "486 Busy Here"}, {kEventUpdated, kEventSentInviteErrorResponse}, "gone"},
        },
    };
}

TEST(SipSessionController, AnsweringSideSendsReliableProvisionalsUntilPrAckAndAnswersUpdate) {
    runScenarios<Answer>(reliableAndUpdateAnsweringScenarios());
}

}  // namespace
}  // namespace kel_sip::test
