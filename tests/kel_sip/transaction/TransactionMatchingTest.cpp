// RFC 3261 sections 17.1.3 and 17.2.3: which responses and requests reach which transaction.
#include <functional>

#include <gtest/gtest.h>

#include "TransactionTestKit.h"
#include "kel_sip/transaction/INVITEClientTransaction.h"
#include "kel_sip/transaction/INVITEServerTransaction.h"
#include "kel_sip/transaction/NonINVITEServerTransaction.h"

namespace kel_sip::test {
namespace {

std::unique_ptr<SipMessageExt> changed(std::unique_ptr<SipMessageExt> message,
                                       const std::function<void(SipMessageExt&)>& change) {
    change(*message);
    return message;
}

TEST(TransactionMatching, ClientKeyNeedsABranchLongerThanTheCookie) {
    const struct {
        const char* branch;
        bool accepted;
        const char* key;
    } cases[] = {{"z9hG4bK74bf9aa1", true, "74bf9aa1"}, {"z9hG4bKx", true, "x"}, {"z9hG4bK", false, ""}, {"abc", false, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.branch);
        FakeWorld world;
        INVITEClientTransaction transaction(world.makeContext());
        EXPECT_EQ(transaction.setRequest(*makeRequest("INVITE", c.branch)), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(transaction.key(), c.key);
        }
    }
    FakeWorld world;
    INVITEClientTransaction transaction(world.makeContext());
    auto noVia = changed(makeRequest("INVITE"), [](SipMessageExt& m) { m.vias.clear(); });
    EXPECT_FALSE(transaction.setRequest(*noVia));
}

TEST(TransactionMatching, ClientMatchesResponsesByBranchAndCSeqMethod) {
    Harness<INVITEClientTransaction> h;
    const SipMessageExt& invite = *h.request;
    EXPECT_TRUE(h.transaction.isResponseMatching(*makeResponse(invite, 180)));
    // A CANCEL carries the INVITE's branch; its responses belong to the CANCEL's transaction.
    EXPECT_FALSE(h.transaction.isResponseMatching(*makeResponse(*makeRequest("CANCEL"), 200)));
    EXPECT_FALSE(h.transaction.isResponseMatching(*makeResponse(*makeRequest("INVITE", "z9hG4bK74bf9aa2"), 180)));
    auto noVia = changed(makeResponse(invite, 180), [](SipMessageExt& m) { m.vias.clear(); });
    EXPECT_FALSE(h.transaction.isResponseMatching(*noVia));

    // Methods outside the table are told apart by name.
    Harness<INVITEClientTransaction> other(false, {}, makeRequest("FOO"));
    EXPECT_TRUE(other.transaction.isResponseMatching(*makeResponse(*makeRequest("FOO"), 200)));
    EXPECT_FALSE(other.transaction.isResponseMatching(*makeResponse(*makeRequest("BAR"), 200)));
}

struct MatchCase {
    const char* name;
    std::function<void(SipMessageExt&)> change;
    bool matches;
};

// A started INVITE server transaction on a request with the given branch.
struct InviteServer : Harness<INVITEServerTransaction> {
    explicit InviteServer(const std::string& branch) : Harness(false, {}, makeRequest("INVITE", branch)) {
        auto first = std::make_unique<SipMessageExt>(*request);
        EXPECT_TRUE(transaction.onReceiveRequest(first));
    }
    bool respond(int code) { return transaction.onSendResponse(*makeResponse(*request, code), 0, false); }
};

TEST(TransactionMatching, ServerMatchesCookieBranchesByBranchAndSentBy) {
    const MatchCase cases[] = {
        {"retransmission", [](SipMessageExt&) {}, true},
        {"explicit default port", [](SipMessageExt& m) { m.vias.front().getSentBy().port = 5060; }, true},
        {"sent-by host differs", [](SipMessageExt& m) { m.vias.front().getSentBy().host = "other.example.com"; }, false},
        {"sent-by port differs", [](SipMessageExt& m) { m.vias.front().getSentBy().port = 5070; }, false},
        {"branch differs", [](SipMessageExt& m) { m.vias.front().setBranch("z9hG4bK74bf9aa2"); }, false},
        // With a cookie branch the other fields do not count.
        {"From tag differs", [](SipMessageExt& m) { m.from.tag = "other"; }, true},
    };
    InviteServer h("z9hG4bK74bf9aa1");
    EXPECT_EQ(h.transaction.key(), "z9hG4bK74bf9aa1");
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(h.transaction.isRequestMatching(*changed(makeRequest("INVITE"), c.change)), c.matches);
    }
}

TEST(TransactionMatching, ServerMatchesOtherBranchesByTheRequestFields) {
    const MatchCase cases[] = {
        {"retransmission", [](SipMessageExt&) {}, true},
        {"CSeq number differs", [](SipMessageExt& m) { m.cseq.setNumber(2); }, false},
        {"From tag differs", [](SipMessageExt& m) { m.from.tag = "other"; }, false},
        {"Call-ID differs", [](SipMessageExt& m) { m.callId = "other@client.example.com"; }, false},
        {"top Via differs", [](SipMessageExt& m) { m.vias.front().getSentBy().host = "other.example.com"; }, false},
        {"Request-URI differs",
         [](SipMessageExt& m) {
             const std::string uri = "sip:carol@example.com";
             m.requestUri.parse(uri.data(), static_cast<int>(uri.size()), true);
         },
         false},
        {"To tag differs", [](SipMessageExt& m) { m.to.tag = "b0b"; }, false},
    };
    for (const char* branch : {"1234abcd", ""}) {
        SCOPED_TRACE(branch);
        InviteServer h(branch);
        EXPECT_EQ(h.transaction.key(), h.request->callId);
        for (const MatchCase& c : cases) {
            SCOPED_TRACE(c.name);
            EXPECT_EQ(h.transaction.isRequestMatching(*changed(makeRequest("INVITE", branch), c.change)), c.matches);
        }
        // The user's response carries a To tag and no Request-URI, and still finds the transaction.
        EXPECT_TRUE(h.transaction.isResponseMatching(*makeResponse(*h.request, 486)));
        // The ACK of a failure response carries the response's To tag.
        ASSERT_TRUE(h.respond(486));
        auto ack = changed(makeRequest("ACK", branch), [](SipMessageExt& m) { m.to.tag = "b0b"; });
        EXPECT_TRUE(h.transaction.isRequestMatching(*ack));
    }
}

TEST(TransactionMatching, InviteServerTakesAckOnlyAfterAFailureAndCancelOnlyWhileProceeding) {
    InviteServer h("z9hG4bK74bf9aa1");
    auto ack = makeRequest("ACK");
    auto cancel = makeRequest("CANCEL");
    EXPECT_FALSE(h.transaction.isRequestMatching(*ack));
    EXPECT_FALSE(h.transaction.isRequestMatching(*cancel));  // a CANCEL gets its own transaction
    EXPECT_TRUE(h.transaction.isCancelMatching(*cancel));
    EXPECT_FALSE(h.transaction.isCancelMatching(*makeRequest("CANCEL", "z9hG4bK74bf9aa2")));

    ASSERT_TRUE(h.respond(487));
    EXPECT_TRUE(h.transaction.isRequestMatching(*ack));
    EXPECT_FALSE(h.transaction.isCancelMatching(*cancel));
    auto ackOfOther = makeRequest("ACK", "z9hG4bK74bf9aa2");
    EXPECT_FALSE(h.transaction.isRequestMatching(*ackOfOther));
    auto first = std::make_unique<SipMessageExt>(*ack);
    ASSERT_TRUE(h.transaction.onReceiveRequest(first));
    EXPECT_EQ(h.transaction.getState(), kStateConfirmed);
    EXPECT_TRUE(h.transaction.isRequestMatching(*ack));
}

TEST(TransactionMatching, NonInviteServerMatchesItsOwnMethodOnly) {
    Harness<NonINVITEServerTransaction> h(false, {}, makeRequest("OPTIONS"));
    EXPECT_TRUE(h.transaction.isRequestMatching(*makeRequest("OPTIONS")));
    EXPECT_FALSE(h.transaction.isRequestMatching(*makeRequest("CANCEL")));
    EXPECT_FALSE(h.transaction.isCancelMatching(*makeRequest("CANCEL")));
    EXPECT_TRUE(h.transaction.isResponseMatching(*makeResponse(*h.request, 200)));
    EXPECT_FALSE(h.transaction.isResponseMatching(*makeResponse(*makeRequest("INFO"), 200)));
}

}  // namespace
}  // namespace kel_sip::test
