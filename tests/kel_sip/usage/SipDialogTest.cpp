// The dialog of RFC 3261 section 12 over the fake transaction layer: identity and lookup,
// the CSeq counter, the addressing a 2xx or a request sets, and how in-dialog requests and
// responses are built and routed.
#include <climits>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeTransactionController.h"
#include "UsageTestMessages.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/usage/SipDialog.h"
#include "kel_sip/usage/SipDialogList.h"
#include "kel_util/Clock.h"

namespace kel_sip::test {
namespace {

std::string printed(const SipParam& value) {
    std::string out;
    value.print(out);
    return out;
}

std::string routesOf(const std::vector<SipRoute>& routes) {
    std::string out;
    for (const SipRoute& route : routes) out += (out.empty() ? "" : ", ") + printed(route);
    return out;
}

// The 200 to our INVITE: Contact and Record-Route as given (empty: none).
std::unique_ptr<SipMessageExt> okToInvite(const std::string& contact, const std::string& recordRoute) {
    return parseMessage("SIP/2.0 200 OK\n"
                 "Via: SIP/2.0/UDP 127.0.0.1:5060;branch=z9hG4bK00000001\n" +
                 (recordRoute.empty() ? "" : "Record-Route: " + recordRoute + "\n") +
                 "From: <sip:alice@a.test>;tag=local1\n"
                 "To: <sip:bob@b.test>;tag=remote1\n"
                 "Call-ID: call-1@a.test\n"
                 "CSeq: 1 INVITE\n" +
                 (contact.empty() ? "" : "Contact: " + contact + "\n") + "Content-Length: 0\n\n");
}

// An INVITE that creates a dialog on the answering side.
std::unique_ptr<SipMessageExt> incomingInvite() {
    return parseMessage("INVITE sip:bob@b.test SIP/2.0\n"
                 "Via: SIP/2.0/UDP 10.0.0.1:5060;branch=z9hG4bKin1\n"
                 "Record-Route: <sip:p1.test;lr>, <sip:p2.test;lr>\n"
                 "From: \"Alice\" <sip:alice@a.test>;tag=caller1\n"
                 "To: <sip:bob@b.test>\n"
                 "Call-ID: call-2@a.test\n"
                 "CSeq: 41 INVITE\n"
                 "Contact: <sip:alice@10.0.0.1:5070;transport=tcp>\n"
                 "Max-Forwards: 70\n"
                 "Content-Length: 0\n\n");
}

// A usage controller that keeps its dialogs in a SipDialogList and hands them their timers and
// requests, as the session and subscription controllers do.
class DialogUsage : public TransactionUserExt {
public:
    DialogUsage(FakeTransactionController& fake, kel_util::ClockSource& clock)
        : TransactionUserExt(fake, clock), fake_(fake) {
        init(1, "host.test");
        registerMethods({SipMethod::Options});
    }
    ~DialogUsage() override { clean(); }

    // A dialog this side starts, listed; its ID number.
    int addCaller(SipDialogStart start, int initialLocalSeqNo = 1) {
        auto dialog = std::make_unique<SipDialog>(*this, fake_);
        EXPECT_TRUE(dialog->createAsCaller(start));
        dialog->setInitialLocalSeqNo(initialLocalSeqNo);
        dialogs.lock();
        SipDialogListData* entry = dialogs.addAndLock(std::move(dialog));
        const int id = entry->getId();
        dialogs.release(entry);
        dialogs.unlock();
        return id;
    }
    // Runs work on the dialog with this ID number under its entry lock; false when none.
    bool with(int id, const std::function<void(SipDialog&)>& work) {
        dialogs.lock();
        SipDialogListData* entry = dialogs.getAndLockById(id);
        if (entry != nullptr) {
            work(entry->dialog());
            dialogs.release(entry);
        }
        dialogs.unlock();
        return entry != nullptr;
    }
    // The events that reached a dialog: (procedure, dialog ID number, timer name or 0).
    struct Reached {
        std::string procedure;
        int id;
        int timerName;
        bool operator==(const Reached&) const = default;
    };
    bool waitForReached(std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kDeadline, [&] { return reached_.size() >= count; });
    }
    std::vector<Reached> reached() {
        std::lock_guard<std::mutex> lock(mutex_);
        return reached_;
    }

    SipDialogList dialogs;

protected:
    bool onTimeout(int id, int timerName, EventLockGuard& eventLock) override {
        return route("onTimeout", id, timerName, eventLock, [&](SipDialog& dialog) { return dialog.onTimeout(timerName); });
    }
    bool procReceiveResponse(SipMessageSlot& response, int userId, EventLockGuard& eventLock) override {
        return route("onReceiveResponse", userId, 0, eventLock,
                     [&](SipDialog& dialog) { return dialog.onReceiveResponse(response); });
    }
    bool procClientTransactionTimeout(SipMessageSlot& request, int userId, EventLockGuard& eventLock) override {
        return route("onClientTransactionTimeout", userId, 0, eventLock,
                     [&](SipDialog& dialog) { return dialog.onClientTransactionTimeout(request); });
    }
    bool procRequestTransportError(SipMessageSlot& request, int userId, EventLockGuard& eventLock) override {
        return route("onRequestTransportError", userId, 0, eventLock,
                     [&](SipDialog& dialog) { return dialog.onRequestTransportError(request); });
    }
    int procReceiveRequest(SipMessageSlot& request, int serverTransactionId, EventLockGuard& eventLock) override {
        dialogs.lock();
        eventLock.release();
        SipDialogListData* entry = dialogs.getAndLockByRequest(*request);
        if (entry == nullptr) {
            dialogs.unlock();
            return 481;
        }
        const bool handled = entry->dialog().onReceiveRequest(request, serverTransactionId);
        dialogs.release(entry);
        dialogs.unlock();
        return handled ? 0 : 500;
    }

private:
    // Runs procedure on the dialog with this ID number, following the list discipline, and
    // records that it got there.
    bool route(const char* procedure, int id, int timerName, EventLockGuard& eventLock,
               const std::function<bool(SipDialog&)>& work) {
        dialogs.lock();
        eventLock.release();
        SipDialogListData* entry = dialogs.getAndLockById(id);
        const bool done = entry != nullptr && work(entry->dialog());
        if (entry != nullptr) dialogs.release(entry);
        dialogs.unlock();
        std::lock_guard<std::mutex> lock(mutex_);
        if (entry != nullptr) reached_.push_back({procedure, id, timerName});
        changed_.notify_all();
        return done;
    }

    FakeTransactionController& fake_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Reached> reached_;
};

SipDialogStart callerStart() {
    SipDialogStart start;
    start.callId = "call-1@a.test";
    start.requestUri.parse("sip:bob@b.test", 14, true);
    start.localParty.parse("<sip:alice@a.test>;tag=ignored", 30, true);
    start.remoteParty.parse("<sip:bob@b.test>", 16, true);
    start.localContact.parse("<sip:alice@127.0.0.1:5062>", 26, true);
    start.localTag = "local1";
    return start;
}

class SipDialogTest : public ::testing::Test {
protected:
    // The request the dialog sends for method (sendDialogRequest after it is made Early).
    std::shared_ptr<SipMessageExt> sendInDialog(int id, const char* method) {
        const std::size_t before = fake.sent().size();
        bool sent = false;
        usage.with(id, [&](SipDialog& dialog) { sent = dialog.sendDialogRequest(method, {}, {}, nullptr); });
        EXPECT_TRUE(sent) << method;
        if (!sent || fake.sent().size() != before + 1) return nullptr;
        return fake.sent().back().message;
    }

    kel_util::ManualClock clock;
    FakeTransactionController fake;
    DialogUsage usage{fake, clock};
};

TEST_F(SipDialogTest, FindsTheDialogByToAndFromTagOnlyWhileTheRemoteTagIsUnknownOrEqual) {
    const int id = usage.addCaller(callerStart());
    struct Case {
        const char* what;
        std::string toTag, fromTag, callId;
        bool knownRemote;
        bool found;
    } cases[] = {
        {"both tags match", "local1", "remote1", "call-1@a.test", true, true},
        {"other From tag, remote tag known", "local1", "other", "call-1@a.test", true, false},
        {"other From tag, remote tag unknown", "local1", "other", "call-1@a.test", false, true},
        {"no To tag", "", "remote1", "call-1@a.test", false, false},
        {"other Call-ID", "local1", "remote1", "call-9@a.test", false, false},
    };
    for (const Case& c : cases) {
        usage.with(id, [&](SipDialog& dialog) { dialog.dialogId().remoteTag = c.knownRemote ? "remote1" : ""; });
        SipMessageExt request;
        request.to.tag = c.toTag;
        request.from.tag = c.fromTag;
        request.callId = c.callId;
        usage.dialogs.lock();
        SipDialogListData* entry = usage.dialogs.getAndLockByRequest(request);
        EXPECT_EQ(entry != nullptr, c.found) << c.what;
        if (entry != nullptr) {
            EXPECT_EQ(entry->getId(), id);
            usage.dialogs.release(entry);
        }
        usage.dialogs.unlock();
    }
}

TEST_F(SipDialogTest, ListFindsARenewedLocalTagAndForgetsTheOldOne) {
    const int first = usage.addCaller(callerStart());
    const int second = usage.addCaller(callerStart());  // same Call-ID and tag: a fork on this side
    std::string renewed;
    usage.with(second, [&](SipDialog& dialog) {
        dialog.renewLocalTag();
        renewed = dialog.dialogId().localTag;
    });
    auto find = [&](const std::string& tag) {
        usage.dialogs.lock();
        SipDialogListData* entry = usage.dialogs.getAndLockByTags(tag, "remote1", "call-1@a.test");
        const int id = entry != nullptr ? entry->getId() : 0;
        if (entry != nullptr) usage.dialogs.release(entry);
        usage.dialogs.unlock();
        return id;
    };
    EXPECT_NE(renewed, "local1");
    EXPECT_EQ(find(renewed), second);
    EXPECT_EQ(find("local1"), first);
    usage.dialogs.lock();
    usage.dialogs.release(usage.dialogs.getAndLockById(first), true);
    usage.dialogs.unlock();
    EXPECT_EQ(find("local1"), 0);
    EXPECT_EQ(find(renewed), second);
}

TEST_F(SipDialogTest, DialogFromARequestAnswersAndRequestsWithItsAddressing) {
    SipDialog dialog(usage, fake);
    auto invite = incomingInvite();
    ASSERT_TRUE(dialog.createFromRequest(*invite, kTransportUDP, -1, 70, "mine"));
    EXPECT_EQ(dialog.dialogId().toString(), "call-2@a.test:mine:caller1:bob");
    dialog.info().localContact.parse("<sip:bob@127.0.0.1:5062>", 24, true);
    struct Case {
        int code;
        bool toTag, contact, recordRoute;
    } cases[] = {{100, false, false, false}, {180, true, true, true}, {302, true, true, false},
                 {486, true, false, false}};
    for (const Case& c : cases) {
        auto response = dialog.createResponse(invite->vias, "INVITE", 41, c.code, nullptr);
        EXPECT_EQ(response->to.tag, c.toTag ? "mine" : "") << c.code;
        EXPECT_EQ(response->from.tag, "caller1") << c.code;
        EXPECT_EQ(response->hasHeader(SipHeader::Contact), c.contact) << c.code;
        EXPECT_EQ(routesOf(response->recordRoutes), c.recordRoute ? "<sip:p1.test;lr>, <sip:p2.test;lr>" : "")
            << c.code;
    }
    // This side's route set keeps the Record-Route order. The transport is the one the next
    // hop names: none for the first route, TCP for the remote target from Contact.
    dialog.setState(kDialogConfirmed);
    auto bye = dialog.createRequest("BYE", 1);
    EXPECT_EQ(routesOf(bye->routes), "<sip:p1.test;lr>, <sip:p2.test;lr>");
    EXPECT_EQ(bye->vias.front().getTransport(), "UDP");
    EXPECT_EQ(printed(bye->to), "\"Alice\" <sip:alice@a.test>;tag=caller1");
    dialog.info().routeSet.clear();
    auto direct = dialog.createRequest("BYE", 2);
    EXPECT_EQ(printed(direct->requestUri), "sip:alice@10.0.0.1:5070;transport=tcp");
    EXPECT_EQ(direct->vias.front().getTransport(), "TCP");
}

TEST_F(SipDialogTest, DialogRequestIsRefusedWhilePendingWithoutUsingACSeqNumber) {
    const int id = usage.addCaller(callerStart());
    bool sent = true;
    usage.with(id, [&](SipDialog& dialog) { sent = dialog.sendDialogRequest("INFO", {}, {}, nullptr); });
    EXPECT_FALSE(sent);
    EXPECT_TRUE(fake.sent().empty());
    usage.with(id, [](SipDialog& dialog) { dialog.setState(kDialogEarly); });
    auto info = sendInDialog(id, "INFO");
    ASSERT_TRUE(info);
    EXPECT_EQ(printed(info->cseq), "1 INFO");
    EXPECT_EQ(fake.sent().back().userId, id);
}

TEST_F(SipDialogTest, FirstRequestCarriesInitialLocalSeqNoOrARandomNumberPlusOne) {
    const int one = usage.addCaller(callerStart(), 1);
    usage.with(one, [](SipDialog& dialog) { dialog.setState(kDialogConfirmed); });
    auto first = sendInDialog(one, "OPTIONS");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->cseq.getNumber(), 1);

    std::vector<int> starts;
    for (int i = 0; i < 2; ++i) {
        const int id = usage.addCaller(callerStart(), -1);
        int start = 0;
        usage.with(id, [&](SipDialog& dialog) {
            start = dialog.info().localSeqNo;
            dialog.setState(kDialogConfirmed);
        });
        EXPECT_GE(start, 0);
        EXPECT_LT(start, 1 << 30);
        auto request = sendInDialog(id, "OPTIONS");
        ASSERT_TRUE(request);
        EXPECT_EQ(request->cseq.getNumber(), start + 1);
        starts.push_back(start);
    }
    EXPECT_NE(starts[0], starts[1]);
}

TEST_F(SipDialogTest, LocalCSeqNeverRepeatsWhenAnEarlyDialogIsConfirmed) {
    const int id = usage.addCaller(callerStart());
    SipDialogInfo inviteData;
    usage.with(id, [&](SipDialog& dialog) {
        // The INVITE takes number 1 and its data copies the addressing, as a session does.
        dialog.info().nextLocalSeqNo();
        inviteData = dialog.info();
        dialog.setState(kDialogEarly);
    });
    auto update = sendInDialog(id, "UPDATE");
    auto prack = sendInDialog(id, "PRACK");
    auto ack = sendInDialog(id, "ACK");
    ASSERT_TRUE(update && prack && ack);
    EXPECT_EQ(update->cseq.getNumber(), 2);
    EXPECT_EQ(prack->cseq.getNumber(), 3);
    EXPECT_EQ(ack->cseq.getNumber(), 3);  // ACK and CANCEL take no new number
    usage.with(id, [&](SipDialog& dialog) {
        EXPECT_TRUE(dialog.confirm(*okToInvite("<sip:bob@10.0.0.2>", "")));
        dialog.adoptInfo(inviteData);
        EXPECT_EQ(printed(dialog.info().remoteTarget), "sip:bob@b.test");  // the data's addressing
    });
    auto bye = sendInDialog(id, "BYE");
    ASSERT_TRUE(bye);
    EXPECT_EQ(bye->cseq.getNumber(), 4);
    usage.with(id, [](SipDialog& dialog) { dialog.info().localSeqNo = INT_MAX; });
    bool sent = true;
    usage.with(id, [&](SipDialog& dialog) { sent = dialog.sendDialogRequest("BYE", {}, {}, nullptr); });
    EXPECT_FALSE(sent);
}

TEST_F(SipDialogTest, ConfirmTakesTagTargetAndReversedRoutesAndKeepsWhatIsUnusable) {
    struct Case {
        const char* what;
        std::string contact, recordRoute;
        bool accepted;
        const char* target;
        const char* routes;
    } cases[] = {
        {"SIP contact", "<sip:bob@10.0.0.2:5080>", "<sip:p1.test;lr>, <sip:p2.test;lr>", true, "sip:bob@10.0.0.2:5080",
         "<sip:p2.test;lr>, <sip:p1.test;lr>"},
        {"tel contact keeps the target", "<tel:+15551234>", "<sip:p1.test;lr>", true, "sip:bob@b.test",
         "<sip:p1.test;lr>"},
        {"no contact keeps the target", "", "", true, "sip:bob@b.test", ""},
        {"unparsable contact", "<sip:bob@10.0.0.2>;expires=x", "<sip:p1.test;lr>", false, "sip:bob@b.test",
         "<sip:old.test;lr>"},
        {"non-SIP Record-Route", "<sip:bob@10.0.0.2>", "<sip:p1.test;lr>, <http://p2.test>", false, "sip:bob@b.test",
         "<sip:old.test;lr>"},
    };
    for (const Case& c : cases) {
        SipDialog dialog(usage, fake);
        ASSERT_TRUE(dialog.createAsCaller(callerStart()));
        dialog.info().routeSet.emplace_back().parse("<sip:old.test;lr>", 17, true);
        EXPECT_EQ(dialog.confirm(*okToInvite(c.contact, c.recordRoute)), c.accepted) << c.what;
        EXPECT_EQ(printed(dialog.info().remoteTarget), c.target) << c.what;
        EXPECT_EQ(routesOf(dialog.info().routeSet), c.accepted && c.recordRoute.empty() ? "" : c.routes) << c.what;
        EXPECT_EQ(dialog.getState(), c.accepted ? kDialogConfirmed : kDialogPending) << c.what;
        EXPECT_EQ(dialog.dialogId().remoteTag, c.accepted ? "remote1" : "") << c.what;
    }
}

TEST_F(SipDialogTest, ConfirmReplacesThePartiesOnlyWhenTheOwnerAsks) {
    auto ok = okToInvite("<sip:bob@10.0.0.2>", "");
    ok->to.parse("\"Robert\" <sip:robert@b.test>;tag=remote1", 40, true);
    for (const bool update : {false, true}) {
        usage.setUpdateToAddress(update);
        SipDialog dialog(usage, fake);
        ASSERT_TRUE(dialog.createAsCaller(callerStart()));
        ASSERT_TRUE(dialog.confirm(*ok));
        EXPECT_EQ(printed(dialog.info().remoteParty), update ? "\"Robert\" <sip:robert@b.test>" : "<sip:bob@b.test>");
    }
}

TEST_F(SipDialogTest, LooseAndStrictRouteSetsAddressAndRouteTheRequest) {
    struct Case {
        const char* what;
        std::string recordRoute;  // as the 200 carries it
        const char* requestUri;
        const char* routes;
        const char* nextHop;
    } cases[] = {
        {"loose", "<sip:p2.test:5072;lr>, <sip:p1.test:5071;lr>", "sip:bob@10.0.0.2:5080",
         "<sip:p1.test:5071;lr>, <sip:p2.test:5072;lr>", "p1.test:5071"},
        // RFC 3261 section 12.2.1.1: a strict router becomes the Request-URI and receives the
        // request, even when the route after it is a loose one.
        {"strict", "<sip:p2.test:5072;lr>, <sip:p1.test:5071>", "sip:p1.test:5071",
         "<sip:p2.test:5072;lr>, <sip:bob@10.0.0.2:5080>", "p1.test:5071"},
        {"none", "", "sip:bob@10.0.0.2:5080", "", "10.0.0.2:5080"},
    };
    for (const Case& c : cases) {
        const int id = usage.addCaller(callerStart());
        usage.with(id, [&](SipDialog& dialog) { ASSERT_TRUE(dialog.confirm(*okToInvite("<sip:bob@10.0.0.2:5080>", c.recordRoute))); });
        auto bye = sendInDialog(id, "BYE");
        ASSERT_TRUE(bye) << c.what;
        EXPECT_EQ(printed(bye->requestUri), c.requestUri) << c.what;
        EXPECT_EQ(routesOf(bye->routes), c.routes) << c.what;
        EXPECT_EQ(bye->peer.toString(), c.nextHop) << c.what;
    }
}

TEST_F(SipDialogTest, NextHopIsTheOutboundPeerUnlessTheDialogIsBoundToAConnection) {
    const int id = usage.addCaller(callerStart());
    usage.with(id, [&](SipDialog& dialog) { dialog.confirm(*okToInvite("<sip:bob@10.0.0.2:5080>", "")); });
    usage.setOutboundPeer(SipPeerAddress{"192.0.2.9", 5099});
    auto viaProxy = sendInDialog(id, "INFO");
    ASSERT_TRUE(viaProxy);
    EXPECT_EQ(viaProxy->peer.toString(), "192.0.2.9:5099");
    usage.with(id, [&](SipDialog& dialog) { dialog.binding() = {kTransportTCP, 3, 7}; });
    auto onConnection = sendInDialog(id, "INFO");
    ASSERT_TRUE(onConnection);
    EXPECT_TRUE(onConnection->peer.empty());
    EXPECT_EQ(onConnection->transportId, 3);
    EXPECT_EQ(onConnection->connectionId, 7);
    EXPECT_EQ(onConnection->vias.front().getTransport(), "TCP");
    EXPECT_NE(onConnection->vias.front().getBranch(), viaProxy->vias.front().getBranch());
}

TEST_F(SipDialogTest, TimersAndTransactionEventsReachTheDialogByItsIdNumber) {
    const int id = usage.addCaller(callerStart());
    usage.with(id, [](SipDialog& dialog) { EXPECT_TRUE(dialog.startTimer(500, 7)); });
    ASSERT_TRUE(clock.advance(std::chrono::milliseconds(499)));
    EXPECT_TRUE(usage.reached().empty());
    ASSERT_TRUE(clock.advance(std::chrono::milliseconds(1)));
    ASSERT_TRUE(usage.waitForReached(1));

    usage.with(id, [](SipDialog& dialog) { dialog.setState(kDialogConfirmed); });
    ASSERT_TRUE(sendInDialog(id, "INFO"));
    const int clientId = fake.sent().back().transactionId;
    ASSERT_GT(clientId, 0);
    auto ok = okToInvite("", "");
    ASSERT_TRUE(fake.injectResponse(clientId, *ok));
    ASSERT_TRUE(usage.waitForReached(2));
    ASSERT_TRUE(fake.injectClientTimeout(clientId));
    ASSERT_TRUE(usage.waitForReached(3));
    ASSERT_TRUE(fake.injectRequestTransportError(clientId));
    ASSERT_TRUE(usage.waitForReached(4));
    using Reached = DialogUsage::Reached;
    EXPECT_EQ(usage.reached(), (std::vector<Reached>{{"onTimeout", id, 7},
                                                     {"onReceiveResponse", id, 0},
                                                     {"onClientTransactionTimeout", id, 0},
                                                     {"onRequestTransportError", id, 0}}));

    // A request the dialog does not serve is answered 405 on its transaction, in the dialog.
    auto options = parseMessage("OPTIONS sip:alice@127.0.0.1:5062 SIP/2.0\n"
                         "Via: SIP/2.0/UDP 10.0.0.2:5080;branch=z9hG4bKopt\n"
                         "From: <sip:bob@b.test>;tag=remote1\n"
                         "To: <sip:alice@a.test>;tag=local1\n"
                         "Call-ID: call-1@a.test\n"
                         "CSeq: 9 OPTIONS\n"
                         "Content-Length: 0\n\n");
    const int serverId = fake.injectRequest(*options);
    ASSERT_GT(serverId, 0);
    ASSERT_TRUE(fake.waitForSent(2));
    const SentMessage answer = fake.sent().back();
    EXPECT_EQ(answer.kind, SentMessage::ResponseById);
    EXPECT_EQ(answer.transactionId, serverId);
    EXPECT_EQ(answer.userId, id);
    EXPECT_EQ(answer.message->statusCode, 405);
    EXPECT_EQ(answer.message->to.tag, "local1");
}

}  // namespace
}  // namespace kel_sip::test
