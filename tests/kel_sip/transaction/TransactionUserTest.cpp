// A TransactionUserExt over a real controller and UDP transport on 127.0.0.1, with a raw peer
// that plays the other side.
#include <algorithm>
#include <cctype>

#include <gtest/gtest.h>

#include "TransactionTestKit.h"
#include "UserTestKit.h"
#include "kel_sip/syntax/HeaderList.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMethod.h"

namespace kel_sip::test {
namespace {

// A request from the raw peer to the stack on toPort.
std::string peerRequest(const std::string& method, const RawPeer& peer, int toPort, const std::string& branch,
                        const std::string& toTag = "") {
    const std::string uri = "sip:bob@127.0.0.1:" + std::to_string(toPort);
    return method + " " + uri + " SIP/2.0\nVia: SIP/2.0/UDP 127.0.0.1:" + std::to_string(peer.port) +
           ";branch=" + branch + "\nMax-Forwards: 70\nFrom: <sip:carol@127.0.0.1>;tag=ca401\nTo: <" + uri + ">" +
           (toTag.empty() ? "" : ";tag=" + toTag) + "\nCall-ID: user-" + branch + "\nCSeq: 1 " + method +
           "\nContent-Length: 0\n\n";
}

// The peer's 200 to a request it received, with "\n" line ends as RawPeer::send takes them.
std::string peerOk(const SipMessageExt& request) {
    std::string text;
    std::unique_ptr<SipMessageExt> response = request.createResponse(200, nullptr, false);
    response->to.tag = "b0b";
    response->print(text);
    std::erase(text, '\r');
    return text;
}

bool isTag(const std::string& tag) {
    if (tag.size() != 8) return false;
    for (const unsigned char c : tag) {
        if (!std::isxdigit(c)) return false;
    }
    return true;
}

std::string rawHeader(SipMessageExt& message, int kind) {
    const std::string* value = message.getHeader(kind, HeaderListBase::Position::First);
    return value == nullptr ? "<none>" : *value;
}

std::vector<std::string> routeUris(const SipMessageExt& message) {
    std::vector<std::string> uris;
    for (const SipRoute& route : message.routes) uris.push_back(route.address.uri.toString());
    return uris;
}

// A 2xx to an INVITE whose transaction is gone, with a Record-Route set that makes the raw peer
// the first hop and a Contact that is not reachable on its own.
std::unique_ptr<SipMessageExt> strayOk(const RawPeer& peer, bool withRoutes) {
    const std::string recordRoute = "Record-Route: <sip:p2.example.com;lr>, <sip:127.0.0.1:" +
                                    std::to_string(peer.port) + ";lr>\n";
    return parseMessage("SIP/2.0 200 OK\nVia: SIP/2.0/UDP 127.0.0.1:5060;branch=z9hG4bKinv00001\n" +
                        (withRoutes ? recordRoute : std::string()) +
                        "From: <sip:alice@example.com>;tag=a11ce\nTo: <sip:bob@example.com>;tag=b0b\n"
                        "Call-ID: stray-2xx@example.com\nCSeq: 7 INVITE\nContact: <sip:bob@192.0.2.9:5070>\n"
                        "Content-Length: 0\n\n");
}

TEST(TransactionUserTest, UnservedMethodIsAnswered405WithAllow) {
    UserStack stack;
    RawPeer peer;
    peer.send(peerRequest("MESSAGE", peer, stack.port, "z9hG4bKmsg00001"), stack.port);
    std::unique_ptr<SipMessageExt> response = peer.receive();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->statusCode, 405);
    EXPECT_EQ(response->reasonPhrase, "Method Not Allowed");
    EXPECT_EQ(rawHeader(*response, SipHeader::Allow), "OPTIONS,INFO");
    EXPECT_TRUE(isTag(response->to.tag)) << response->to.tag;
    EXPECT_TRUE(stack.user.calls().empty());
}

TEST(TransactionUserTest, ResponseKeepsAnExistingToTagAndAddsAMissingOne) {
    UserStack stack;
    RawPeer peer;
    stack.user.toTag = "given01";
    peer.send(peerRequest("OPTIONS", peer, stack.port, "z9hG4bKopt00001", "remote01"), stack.port);
    std::unique_ptr<SipMessageExt> inDialog = peer.receive();
    ASSERT_TRUE(inDialog);
    EXPECT_EQ(inDialog->statusCode, 200);
    EXPECT_EQ(inDialog->to.tag, "remote01");

    peer.send(peerRequest("OPTIONS", peer, stack.port, "z9hG4bKopt00002"), stack.port);
    std::unique_ptr<SipMessageExt> outOfDialog = peer.receive();
    ASSERT_TRUE(outOfDialog);
    EXPECT_EQ(outOfDialog->to.tag, "given01");
    ASSERT_TRUE(stack.user.waitForCalls(2));
    EXPECT_GT(stack.user.calls()[0].id, 0);  // the server transaction ID
}

TEST(TransactionUserTest, ResponseByMessageCarriesBodyTypeAndHeaders) {
    UserStack stack;
    RawPeer peer;
    peer.send(peerRequest("INFO", peer, stack.port, "z9hG4bKinfo0001"), stack.port);
    ASSERT_TRUE(stack.user.waitForCalls(1));
    const SipMessageExt request = *stack.user.calls()[0].message;
    HeaderList headers;
    headers.addHeader("X-Test", "one");
    ResponseContent content;
    content.body = "v=0\r\n";
    content.headers = &headers;
    ASSERT_TRUE(stack.user.sendResponseFromRequest(request, 200, "Fine", content, nullptr, 0));
    std::unique_ptr<SipMessageExt> response = peer.receive();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->reasonPhrase, "Fine");
    EXPECT_EQ(response->contentType, "application/sdp");
    EXPECT_EQ(response->body.view(), "v=0\r\n");
    const std::string* extra = response->getHeader("X-Test", HeaderListBase::Position::First);
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(*extra, "one");
    EXPECT_TRUE(isTag(response->to.tag));
}

TEST(TransactionUserTest, StrayTwoHundredIsEndedWithAckThenByeOneCSeqHigher) {
    UserStack stack;
    RawPeer peer;
    ByeFromResponse how;
    how.sendAckFirst = true;
    how.parameter = 9;
    ASSERT_TRUE(stack.user.sendByeFromResponse(*strayOk(peer, true), how));

    std::unique_ptr<SipMessageExt> ack = peer.receive();
    std::unique_ptr<SipMessageExt> bye = peer.receive();
    ASSERT_TRUE(ack && bye);
    EXPECT_EQ(ack->getMethodName(), "ACK");
    EXPECT_EQ(bye->getMethodName(), "BYE");
    EXPECT_EQ(ack->cseq.getNumber(), 7);
    EXPECT_EQ(ack->cseq.getMethodKind(), SipMethod::Ack);
    EXPECT_EQ(bye->cseq.getNumber(), 8);
    EXPECT_EQ(bye->cseq.getMethodKind(), SipMethod::Bye);
    const std::vector<std::string> routes{"sip:127.0.0.1:" + std::to_string(peer.port) + ";lr", "sip:p2.example.com;lr"};
    for (SipMessageExt* request : {ack.get(), bye.get()}) {
        EXPECT_EQ(request->requestUri.toString(), "sip:bob@192.0.2.9:5070");
        EXPECT_EQ(routeUris(*request), routes);
        ASSERT_EQ(request->vias.size(), 1u);
        EXPECT_EQ(request->vias.front().getBranch().rfind("z9hG4bK", 0), 0u);
        EXPECT_EQ(request->maxForwards, 70);
        EXPECT_EQ(request->from.tag, "a11ce");
        EXPECT_EQ(request->to.tag, "b0b");
        EXPECT_EQ(request->callId, "stray-2xx@example.com");
    }
    EXPECT_NE(ack->vias.front().getBranch(), bye->vias.front().getBranch());
    EXPECT_NE(bye->vias.front().getBranch(), "z9hG4bKinv00001");

    // The BYE's transaction belongs to the user: its answer comes back with the parameter.
    peer.send(peerOk(*bye), stack.port);
    ASSERT_TRUE(stack.user.waitForCalls(1));
    const ProcedureCall call = stack.user.calls()[0];
    EXPECT_EQ(call.procedure, "procReceiveResponse");
    EXPECT_EQ(call.method, "BYE");
    EXPECT_EQ(call.id, 9);
}

TEST(TransactionUserTest, ByeAloneGoesToTheOutboundPeerOneCSeqHigher) {
    UserStack stack;
    RawPeer peer;
    stack.user.setMaxForwards(12);
    const SipPeerAddress outbound{"127.0.0.1", peer.port};
    ByeFromResponse how;
    how.outboundPeer = &outbound;
    ASSERT_TRUE(stack.user.sendByeFromResponse(*strayOk(peer, false), how));
    std::unique_ptr<SipMessageExt> bye = peer.receive();
    ASSERT_TRUE(bye);
    EXPECT_EQ(bye->getMethodName(), "BYE");
    EXPECT_EQ(bye->cseq.getNumber(), 8);
    EXPECT_EQ(bye->requestUri.toString(), "sip:bob@192.0.2.9:5070");
    EXPECT_TRUE(bye->routes.empty());
    EXPECT_EQ(bye->maxForwards, 12);
    EXPECT_EQ(bye->vias.front().getTransport(), "UDP");
}

TEST(TransactionUserTest, ByeFromAResponseWithoutContactIsRefused) {
    UserStack stack;
    RawPeer peer;
    auto response = strayOk(peer, true);
    response->removeHeader(SipHeader::Contact);
    ByeFromResponse how;
    how.sendAckFirst = true;
    EXPECT_FALSE(stack.user.sendByeFromResponse(*response, how));
    EXPECT_EQ(peer.receive(std::chrono::milliseconds(200)), nullptr);
}

TEST(TransactionUserTest, EventsReachTheirProceduresAndEveryMessageIsFreed) {
    UserStack stack;
    const auto request = makeRequest("MESSAGE");
    const auto response = makeResponse(*request, 200);
    const auto post = [&](int type, const SipMessageExt& message, int transactionId, int userId) {
        auto* counted = new CountedMessage(message);
        if (!stack.user.postEvent(type, reinterpret_cast<intptr_t>(counted), transactionId, userId, nullptr)) {
            delete counted;
            ADD_FAILURE() << "postEvent refused type " << type;
        }
    };
    post(SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE, *response, 3, 31);
    post(SIPTRANSACTION_EVMSGTYPE_CLIENTTRANSACTIONTIMEOUT, *request, 4, 41);
    // The defaults: a 405 on an unknown server transaction fails, the others refuse or ignore.
    post(SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST, *request, 999, 0);
    post(SIPTRANSACTION_EVMSGTYPE_SERVERTRANSACTIONTIMEOUT, *response, 5, 0);
    post(SIPTRANSACTION_EVMSGTYPE_REQUESTTRANSPORTERROR, *request, 6, 61);
    post(SIPTRANSACTION_EVMSGTYPE_RESPONSETRANSPORTERROR, *response, 7, 0);
    // Not a transaction event: its payload is not the handler's to free.
    const CountedMessage foreign(*request);
    ASSERT_TRUE(stack.user.postEvent(77, reinterpret_cast<intptr_t>(&foreign), 8, 0, nullptr));
    ASSERT_TRUE(stack.user.setTimer(1, 12, 3, 0));

    ASSERT_TRUE(stack.user.waitForCalls(3));
    ASSERT_TRUE(waitUntil([] { return CountedMessage::live.load() == 1; })) << CountedMessage::live.load();
    std::vector<ProcedureCall> calls = stack.user.calls();
    std::sort(calls.begin(), calls.end(), [](const auto& a, const auto& b) { return a.procedure < b.procedure; });
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].procedure, "onTimeout");
    EXPECT_EQ(calls[0].id, 12);
    EXPECT_EQ(calls[0].statusCode, 3);
    EXPECT_EQ(calls[1].procedure, "procClientTransactionTimeout");
    EXPECT_EQ(calls[1].id, 41);
    EXPECT_EQ(calls[2].procedure, "procReceiveResponse");
    EXPECT_EQ(calls[2].id, 31);
}

TEST(TransactionUserTest, LockedDispatchReleasesTheEventLockOnceOnEveryPath) {
    UserStack stack;
    const auto request = makeRequest("INVITE");
    const auto post = [&](int code) {
        ASSERT_TRUE(stack.user.postEvent(SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE,
                                         reinterpret_cast<intptr_t>(new CountedMessage(*makeResponse(*request, code))),
                                         1, code, nullptr));
    };
    // 181 never releases: its guard does on the way out, so 180 still starts; 180 releases
    // twice and then waits for 200, which can only run alongside it on the second worker.
    post(181);
    post(180);
    post(200);
    ASSERT_TRUE(stack.user.waitForCalls(3));
    EXPECT_TRUE(stack.user.sawLaterEvent.load());
    // The pool still takes events in order afterwards.
    post(202);
    ASSERT_TRUE(stack.user.waitForCalls(4));
    EXPECT_TRUE(waitUntil([] { return CountedMessage::live.load() == 0; }));
}

TEST(TransactionUserTest, StoppedUserRefusesWorkWithoutLeakingTheMessage) {
    UserStack stack;
    stack.user.clean();
    const auto request = makeRequest("OPTIONS");
    const int before = CountedMessage::live.load();

    auto* posted = new CountedMessage(*request);
    EXPECT_FALSE(stack.user.postEvent(SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST, reinterpret_cast<intptr_t>(posted), 1,
                                      0, nullptr));
    EXPECT_EQ(CountedMessage::live.load(), before + 1);  // still the caller's, not freed behind its back
    delete posted;

    SipMessageSlot slot = std::make_unique<CountedMessage>(*request);
    EXPECT_FALSE(stack.controller.notifyTU(&stack.user, SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST, slot, 1, 0));
    EXPECT_TRUE(slot);  // the controller keeps it
    slot.reset();
    EXPECT_EQ(CountedMessage::live.load(), before);

    EXPECT_LT(stack.user.sendRequest(*request, 1), 0);
}

}  // namespace
}  // namespace kel_sip::test
