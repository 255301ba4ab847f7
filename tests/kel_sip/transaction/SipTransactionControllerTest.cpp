// Two stacks in one process talking over UDP on 127.0.0.1, with recording transaction users,
// and a raw UDP peer for what a correct stack would never send.
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ControllerTestKit.h"
#include "TransactionTestKit.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/transport/SipTransportEvent.h"
#include "kel_util/Clock.h"
#include "tests/support/LogCapture.h"

namespace kel_sip::test {
namespace {

constexpr int kRequest = SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST;
constexpr int kResponse = SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE;

// The response to a request a user received, with a To tag.
std::unique_ptr<SipMessageExt> answer(const UserEvent& received, int code) {
    auto response = received.message->createResponse(code, nullptr, false);
    if (response->to.tag.empty()) response->to.tag = "b0b";
    return response;
}

// Text of a request from the raw peer to a stack.
std::string rawRequest(const std::string& method, const RawPeer& peer, int toPort, const std::string& branch,
                       const std::string& toTag = "") {
    const std::string uri = "sip:bob@127.0.0.1:" + std::to_string(toPort);
    return method + " " + uri + " SIP/2.0\n" + "Via: SIP/2.0/UDP 127.0.0.1:" + std::to_string(peer.port) +
           ";branch=" + branch + "\n" + "Max-Forwards: 70\nFrom: <sip:carol@127.0.0.1>;tag=ca401\n" + "To: <" + uri +
           ">" + (toTag.empty() ? "" : ";tag=" + toTag) + "\nCall-ID: raw-" + branch + "\nCSeq: 1 " + method +
           "\nContent-Length: 0\n\n";
}

TEST(SipTransactionControllerTest, RequestAndResponseCrossBothControllers) {
    Stack a;
    Stack b;
    const int clientId = a.controller.sendRequest(*a.request("MESSAGE", b.port, "z9hG4bKcross01"), 42, &a.user);
    ASSERT_GT(clientId, 0);

    ASSERT_TRUE(b.user.waitForCount(1));
    const UserEvent received = b.user.event(0);
    EXPECT_EQ(received.type, kRequest);
    EXPECT_GT(received.transactionId, 0);
    EXPECT_EQ(received.message->getMethodName(), "MESSAGE");
    EXPECT_TRUE(b.controller.sendResponse(received.transactionId, *answer(received, 200), 0));

    ASSERT_TRUE(a.user.waitForCount(1));
    const UserEvent response = a.user.event(0);
    EXPECT_EQ(response.type, kResponse);
    EXPECT_EQ(response.message->statusCode, 200);
    EXPECT_EQ(response.transactionId, clientId);
    EXPECT_EQ(response.userId, 42);
    // The server transaction is Completed: a second final response has nowhere to go.
    EXPECT_FALSE(b.controller.sendResponse(received.transactionId, *answer(received, 500), 0));
}

TEST(SipTransactionControllerTest, InviteGetsTryingAtOnceAndTheFailureAckReachesTheUserWhenAsked) {
    Stack a;
    Stack b;
    const int clientId = a.controller.sendRequest(*a.request("INVITE", b.port, "z9hG4bKinvite1"), 7, &a.user);
    ASSERT_GT(clientId, 0);

    // The 100 Trying comes from b's controller before its user has done anything.
    ASSERT_TRUE(a.user.waitForCount(1));
    EXPECT_EQ(a.user.event(0).message->statusCode, 100);
    EXPECT_EQ(a.user.event(0).transactionId, clientId);
    ASSERT_TRUE(b.user.waitForCount(1));
    const UserEvent invite = b.user.event(0);

    // Found by matching, with the ACK of the failure passed on.
    EXPECT_TRUE(b.controller.sendResponse(*answer(invite, 486), 3, true));
    ASSERT_TRUE(a.user.waitForCount(2));
    EXPECT_EQ(a.user.event(1).message->statusCode, 486);
    ASSERT_TRUE(b.user.waitForCount(2));
    const UserEvent ack = b.user.event(1);
    EXPECT_EQ(ack.type, kRequest);
    EXPECT_EQ(ack.message->methodKind, SipMethod::Ack);
    EXPECT_EQ(ack.transactionId, invite.transactionId);
}

TEST(SipTransactionControllerTest, RetransmittedRequestReachesTheUserOnceAndGetsTheSameResponseAgain) {
    Stack b;
    RawPeer peer;
    const std::string request = rawRequest("MESSAGE", peer, b.port, "z9hG4bKretrans1");
    peer.send(request, b.port);
    ASSERT_TRUE(b.user.waitForCount(1));
    peer.send(request, b.port);  // absorbed in Trying, or answered when the answer came first
    const UserEvent received = b.user.event(0);
    EXPECT_TRUE(b.controller.sendResponse(received.transactionId, *answer(received, 202), 0));
    auto first = peer.receive();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->statusCode, 202);

    peer.send(request, b.port);
    auto again = peer.receive();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->statusCode, 202);
    EXPECT_EQ(again->to.tag, first->to.tag);
    EXPECT_EQ(b.user.count(), 1u);
}

TEST(SipTransactionControllerTest, UnmatchedAckAndLate2xxReachTheUserWithIdsZero) {
    Stack a;
    RawPeer peer;
    peer.send(rawRequest("ACK", peer, a.port, "z9hG4bKackalone", "b0b"), a.port);
    ASSERT_TRUE(a.user.waitForCount(1));
    EXPECT_EQ(a.user.event(0).type, kRequest);
    EXPECT_EQ(a.user.event(0).message->methodKind, SipMethod::Ack);
    EXPECT_EQ(a.user.event(0).transactionId, 0);
    EXPECT_EQ(a.user.event(0).userId, 0);

    // Responses to a request a never sent: the 180 is dropped, the 200 goes up.
    auto invite = a.request("INVITE", peer.port, "z9hG4bKnotsent");
    for (int code : {180, 200}) {
        auto response = invite->createResponse(code, nullptr, false);
        response->to.tag = "b0b";
        std::string text;
        response->print(text);
        std::erase(text, '\r');  // send puts CRLF back
        peer.send(text, a.port);
    }
    ASSERT_TRUE(a.user.waitForCount(2));
    const UserEvent late = a.user.event(1);
    EXPECT_EQ(late.type, kResponse);
    EXPECT_EQ(late.message->statusCode, 200);
    EXPECT_EQ(late.transactionId, 0);
    EXPECT_EQ(late.userId, 0);
}

TEST(SipTransactionControllerTest, RequestWithNoUserIsAnswered500WithoutTrying) {
    Stack a;
    Stack b(false);
    for (const char* method : {"MESSAGE", "INVITE"}) {
        SCOPED_TRACE(method);
        const std::size_t before = a.user.count();
        const std::string branch = std::string("z9hG4bKnouser") + method;
        const int clientId = a.controller.sendRequest(*a.request(method, b.port, branch), 1, &a.user);
        ASSERT_GT(clientId, 0);
        ASSERT_TRUE(a.user.waitForCount(before + 1));
        const UserEvent response = a.user.event(before);
        EXPECT_EQ(response.message->statusCode, 500);
        EXPECT_EQ(response.transactionId, clientId);
        EXPECT_FALSE(response.message->to.tag.empty());
    }
}

TEST(SipTransactionControllerTest, RequestNobodyTakesIsAnsweredWhereItsViaSays) {
    Stack b(false);
    // Sent from one port, with a Via naming another and no rport: the 500 goes to the Via's
    // port (RFC 3261 section 18.2.2), not back to the source.
    RawPeer sender;
    RawPeer viaPort;
    sender.send(rawRequest("MESSAGE", viaPort, b.port, "z9hG4bKnouservia"), b.port);
    auto answer = viaPort.receive();
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->statusCode, 500);
    EXPECT_EQ(sender.receive(std::chrono::milliseconds(200)), nullptr);
}

TEST(SipTransactionControllerTest, CancelFindsItsInviteOnlyWhileProceeding) {
    Stack a;
    Stack b;
    const std::string branch = "z9hG4bKcancel01";
    ASSERT_GT(a.controller.sendRequest(*a.request("INVITE", b.port, branch), 1, &a.user), 0);
    ASSERT_TRUE(b.user.waitForCount(1));
    const UserEvent invite = b.user.event(0);

    // The CANCEL shares the INVITE's branch, so its client transaction differs by method only.
    ASSERT_GT(a.controller.sendRequest(*a.request("CANCEL", b.port, branch), 2, &a.user), 0);
    ASSERT_TRUE(b.user.waitForCount(2));
    const UserEvent cancel = b.user.event(1);
    EXPECT_EQ(cancel.message->methodKind, SipMethod::Cancel);
    EXPECT_GT(cancel.transactionId, 0);
    EXPECT_NE(cancel.transactionId, invite.transactionId);
    EXPECT_EQ(b.controller.findTrancsactionToCancel(*cancel.message), invite.transactionId);

    EXPECT_TRUE(b.controller.sendResponse(cancel.transactionId, *answer(cancel, 200), 0));
    EXPECT_TRUE(b.controller.sendResponse(invite.transactionId, *answer(invite, 487), 0));
    EXPECT_EQ(b.controller.findTrancsactionToCancel(*cancel.message), -1);
}

TEST(SipTransactionControllerTest, RefusesRequestsWithoutAKeyOrWithOneInUse) {
    Stack a;
    Stack b;
    EXPECT_EQ(a.controller.sendRequest(*a.request("MESSAGE", b.port, "z9hG4bK"), 1, &a.user), -1);
    EXPECT_EQ(a.controller.sendRequest(*a.request("MESSAGE", b.port, "abc"), 1, &a.user), -1);
    auto noVia = a.request("MESSAGE", b.port, "z9hG4bKnovia");
    noVia->vias.clear();
    EXPECT_EQ(a.controller.sendRequest(*noVia, 1, &a.user), -1);
    EXPECT_EQ(a.controller.sendRequest(*a.request("MESSAGE", b.port, "z9hG4bKnouser"), 1, nullptr), -1);

    const auto request = a.request("MESSAGE", b.port, "z9hG4bKtwice01");
    EXPECT_GT(a.controller.sendRequest(*request, 1, &a.user), 0);
    EXPECT_EQ(a.controller.sendRequest(*request, 1, &a.user), -1);
    EXPECT_GT(a.controller.sendRequest(*a.request("OPTIONS", b.port, "z9hG4bKtwice01"), 1, &a.user), 0);
    // An ACK has no transaction: it is sent as often as asked.
    const auto ack = a.request("ACK", b.port, "z9hG4bKack0001");
    EXPECT_EQ(a.controller.sendRequest(*ack, 1, &a.user), 0);
    EXPECT_EQ(a.controller.sendRequest(*ack, 1, &a.user), 0);

    // createBranch never hands out a key in use.
    std::string branch;
    a.controller.createBranch(branch);
    EXPECT_EQ(branch.size(), 15u);
    EXPECT_EQ(branch.rfind("z9hG4bK", 0), 0u);
}

TEST(SipTransactionControllerTest, RefusesResponsesThatNoTransactionCanSend) {
    Stack a;
    const auto request = a.request("MESSAGE", a.port, "z9hG4bKnosuch1");
    EXPECT_FALSE(a.controller.sendResponse(*request->createResponse(200, nullptr, false), 0, false));
    EXPECT_FALSE(a.controller.sendResponse(5, *request->createResponse(200, nullptr, false), 0));
    auto noVia = request->createResponse(200, nullptr, false);
    noVia->vias.clear();
    EXPECT_FALSE(a.controller.sendResponse(*noVia, 0, false));
    const auto ack = a.request("ACK", a.port, "z9hG4bKack0002");
    EXPECT_FALSE(a.controller.sendResponse(*ack->createResponse(200, nullptr, false), 0, false));

    // A 2xx to INVITE without its transaction is the user's retransmission: sent directly.
    RawPeer peer;
    auto invite = a.request("INVITE", peer.port, "z9hG4bKdirect1");
    invite->vias.front() = parseMessage(rawRequest("INVITE", peer, a.port, "z9hG4bKdirect1"))->vias.front();
    auto ok = invite->createResponse(200, nullptr, false);
    ok->to.tag = "b0b";
    EXPECT_TRUE(a.controller.sendResponse(*ok, 0, false));
    auto received = peer.receive();
    ASSERT_NE(received, nullptr);
    EXPECT_EQ(received->statusCode, 200);
}

using tessaly_test::LogCapture;

TEST(SipTransactionControllerTest, DeletedTransactionIsGoneAndItsLateTimerIsLoggedAndHarmless) {
    LogCapture log;
    Stack b;
    RawPeer peer;
    const std::string request = rawRequest("MESSAGE", peer, b.port, "z9hG4bKdelete1");
    peer.send(request, b.port);
    ASSERT_TRUE(b.user.waitForCount(1));
    const int id = b.user.event(0).transactionId;

    EXPECT_FALSE(b.controller.deleteServerTransaction(0));
    EXPECT_TRUE(b.controller.deleteServerTransaction(id));
    EXPECT_FALSE(b.controller.deleteServerTransaction(id));
    EXPECT_FALSE(b.controller.deleteClientTransaction(id));
    EXPECT_FALSE(b.controller.sendResponse(id, *answer(b.user.event(0), 200), 0));

    // An expiry that was already queued when the transaction went.
    ASSERT_TRUE(b.controller.postEvent(kel_util::EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER, id, kTimerJ, nullptr));
    // The same request again is a new transaction, and the stack goes on answering.
    peer.send(request, b.port);
    ASSERT_TRUE(b.user.waitForCount(2));
    const UserEvent again = b.user.event(1);
    EXPECT_NE(again.transactionId, id);
    EXPECT_TRUE(b.controller.sendResponse(again.transactionId, *answer(again, 200), 0));
    auto response = peer.receive();
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->statusCode, 200);
    EXPECT_EQ(b.user.count(), 2u);

    // The expiry is handled on a worker, beside the receive path.
    const std::string expected = "ServerTransaction not found, ServerTransactionID=" + std::to_string(id) + ", Timer=8.";
    EXPECT_TRUE(eventually([&] { return log.text().find(expected) != std::string::npos; })) << log.text();
}

}  // namespace
}  // namespace kel_sip::test

namespace kel_sip::test {
namespace {

TEST(SipTransactionControllerTimers, KeepsCurrentValuesForNonPositiveOrOverflowingOnes) {
    SipTransactionControllerImpl controller(nullptr);
    controller.setTimers(0, -1, 7, SipTransactionControllerImpl::kMaxTimerValue + 1);
    TransactionTimerValues values = controller.timerValues();
    EXPECT_EQ(values.t1, 500);
    EXPECT_EQ(values.t2, 4000);
    EXPECT_EQ(values.t4, 7);
    EXPECT_EQ(values.td, 32000);
    controller.setTimers(SipTransactionControllerImpl::kMaxTimerValue, 0, 0, 0);
    values = controller.timerValues();
    EXPECT_EQ(values.t1, SipTransactionControllerImpl::kMaxTimerValue);
    EXPECT_GT(64LL * values.t1, 0);
}

TEST(SipTransactionControllerTimers, UnansweredRequestIsRetransmittedThenTimesOutToItsUser) {
    Stack a(true, {10, 40, 50, 50});
    RawPeer silent;
    const int clientId = a.controller.sendRequest(*a.request("MESSAGE", silent.port, "z9hG4bKsilent1"), 9, &a.user);
    ASSERT_GT(clientId, 0);
    // Timer E: the request again after 10, 20, 40, 40 ... ms, until Timer F at 640 ms.
    int copies = 0;
    while (copies < 4 && silent.receive() != nullptr) ++copies;
    EXPECT_EQ(copies, 4);
    ASSERT_TRUE(a.user.waitForCount(1));
    const UserEvent timeout = a.user.event(0);
    EXPECT_EQ(timeout.type, SIPTRANSACTION_EVMSGTYPE_CLIENTTRANSACTIONTIMEOUT);
    EXPECT_EQ(timeout.transactionId, clientId);
    EXPECT_EQ(timeout.userId, 9);
    ASSERT_NE(timeout.message, nullptr);
    EXPECT_EQ(timeout.message->getMethodName(), "MESSAGE");
    // The transaction goes (just after telling its user): its branch may be used again.
    const auto again = a.request("MESSAGE", silent.port, "z9hG4bKsilent1");
    EXPECT_TRUE(eventually([&] { return a.controller.sendRequest(*again, 9, &a.user) > 0; }));
}

TEST(SipTransactionControllerTimers, TransportErrorReachesTheTransactionOfItsId) {
    Stack a;
    RawPeer silent;
    const auto invite = a.request("INVITE", silent.port, "z9hG4bKterror1");
    const int clientId = a.controller.sendRequest(*invite, 4, &a.user);
    ASSERT_GT(clientId, 0);
    // An error for an ID nobody has changes nothing; the one for the INVITE ends it.
    for (const int id : {clientId + 1, clientId}) {
        auto failed = std::make_unique<SipMessageExt>(*invite);
        ASSERT_TRUE(a.controller.postEvent(SIPTRANSPORT_EVMSGTYPE_TRANSPORTERROR,
                                           reinterpret_cast<intptr_t>(failed.get()), id, &a.transport));
        failed.release();  // the event owns it
    }
    ASSERT_TRUE(a.user.waitForCount(1));
    const UserEvent error = a.user.event(0);
    EXPECT_EQ(error.type, SIPTRANSACTION_EVMSGTYPE_REQUESTTRANSPORTERROR);
    EXPECT_EQ(error.transactionId, clientId);
    EXPECT_EQ(error.userId, 4);
    // The INVITE's transaction goes (just after telling its user): its branch is free again.
    EXPECT_TRUE(eventually([&] { return a.controller.sendRequest(*invite, 4, &a.user) > 0; }));
}

TEST(SipTransactionControllerTimers, CleanDeletesTransactionsAndForgetsTransports) {
    Stack a;
    RawPeer silent;
    const auto request = a.request("MESSAGE", silent.port, "z9hG4bKclean01");
    const int clientId = a.controller.sendRequest(*request, 1, &a.user);
    ASSERT_GT(clientId, 0);
    a.controller.clean();
    EXPECT_FALSE(a.controller.deleteClientTransaction(clientId));
    // Not even an ACK goes out through a transport the controller no longer knows.
    EXPECT_EQ(a.controller.sendRequest(*a.request("ACK", silent.port, "z9hG4bKclean02"), 0, &a.user), -1);
}

// Users' threads keep sending requests and answers, and a peer keeps sending requests, while
// both controllers are cleaned: clean waits for what is inside and later calls are refused.
// Under ASan and TSan this shows no transaction is freed or touched while in use.
TEST(SipTransactionControllerTest, CleanWhileUsersSendAndRequestsArriveFreesNothingInUse) {
    Stack a;
    Stack b;
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::vector<std::thread> threads;
    for (int sender = 0; sender < 2; ++sender) {
        threads.emplace_back([&, sender] {
            for (int i = 0; !stop; ++i) {
                const std::string branch = "z9hG4bKclean" + std::to_string(sender) + "x" + std::to_string(i);
                if (a.controller.sendRequest(*a.request("MESSAGE", b.port, branch), i, &a.user) > 0) ++sent;
            }
        });
    }
    threads.emplace_back([&] {
        for (std::size_t answered = 0; !stop;) {
            if (answered < b.user.count()) {
                const UserEvent received = b.user.event(answered++);
                b.controller.sendResponse(received.transactionId, *answer(received, 200), 0);
            } else {
                std::this_thread::yield();
            }
        }
    });
    ASSERT_TRUE(b.user.waitForCount(50));
    b.controller.clean();
    a.controller.clean();
    const int sentAtClean = sent;
    stop = true;
    for (std::thread& thread : threads) thread.join();

    EXPECT_GT(sentAtClean, 0);
    EXPECT_LE(sent - sentAtClean, 2);  // at most the calls already inside when clean began
    EXPECT_EQ(a.controller.sendRequest(*a.request("MESSAGE", b.port, "z9hG4bKafter"), 1, &a.user), -1);
}

TEST(SipTransactionControllerTest, EndOfLifeTimersFireOnTheNextGridLineNeverEarly) {
    kel_util::ManualClock clock;
    SipTransactionControllerImpl controller(nullptr, clock);
    constexpr int kGrid = SipTransactionControllerImpl::kTerminalTimerGrid;
    for (const int step : {0, 1, 62, 1, 200}) {
        clock.advance(std::chrono::milliseconds(step));
        const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(clock.now().time_since_epoch()).count();
        const int delay = controller.terminalTimerDelay(32000);
        EXPECT_GE(delay, 32000);
        EXPECT_LT(delay, 32000 + kGrid);
        EXPECT_EQ((now + delay) % kGrid, 0) << "at " << now;
    }
    EXPECT_EQ(controller.terminalTimerDelay(0), 0);  // a reliable transport ends at once
}

}  // namespace
}  // namespace kel_sip::test
