// The 100rel rules as tables: what an INVITE offers, which provisional responses go out
// reliably and numbered, which received ones are acknowledged, and how a PRACK received is
// matched against the reliable provisional that waits.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../../support/LogCapture.h"
#include "HeaderLines.h"
#include "kel_sip/usage/PrAckMatch.h"
#include "kel_sip/usage/ReliableProvisionalRules.h"

namespace kel_sip::test {
namespace {

ReliableProvisionalRules rules(bool process100rel, int processType, bool alwaysRSeq = false, bool skipChecks = false) {
    return ReliableProvisionalRules({process100rel, processType, alwaysRSeq, skipChecks});
}

TEST(ReliableProvisionalRules, ProvisionalIsReliableByTypeAndPeerUse) {
    struct Case { bool process100rel; int sessionType; std::optional<int> given; int peerUse; bool reliable; };
    const std::vector<Case> cases = {
        {true, 0, {}, 2, false}, {true, 1, {}, 2, true},  {true, 1, {}, 1, false}, {true, 2, {}, 1, true},
        {true, 2, {}, 0, false}, {true, 0, 2, 1, true},   {true, 2, 0, 2, false},  {true, 9, {}, 2, false},
        {false, 2, {}, 2, false}, {false, 0, 1, 2, false}, {false, 0, 2, 0, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rules(c.process100rel, c.sessionType).isReliable(c.given, c.peerUse), c.reliable)
            << c.process100rel << " " << c.sessionType << " " << c.given.value_or(-1) << " " << c.peerUse;
    }
    EXPECT_TRUE(rules(true, 0).refusesRequired(2));
    EXPECT_FALSE(rules(true, 0).refusesRequired(1));
    EXPECT_FALSE(rules(true, 1).refusesRequired(2));
    EXPECT_FALSE(rules(false, 0).refusesRequired(2));
}

TEST(ReliableProvisionalRules, OfferAndReliableResponseHeaders) {
    const std::vector<std::pair<std::optional<int>, std::string>> offers = {
        {0, "Supported: timer"}, {1, "Supported: timer,100rel"}, {2, "Require: 100rel\nSupported: timer,100rel"}};
    for (const auto& [type, headers] : offers) {
        HeaderList invite = headerLines("Supported: timer");
        EXPECT_EQ(rules(true, 0).addOfferHeaders(type, invite), type.value());
        EXPECT_EQ(printedLines(invite), headers) << type.value_or(-1);
    }
    RSeqCounter counter;
    HeaderList first;
    EXPECT_EQ(rules(true, 1).addReliableHeaders(counter, first), 1);
    EXPECT_EQ(printedLines(first), "Require: 100rel\nRSeq: 1");
    HeaderList unnumbered;
    EXPECT_EQ(rules(false, 2).addReliableHeaders(counter, unnumbered), -1);
    EXPECT_EQ(printedLines(unnumbered), "Require: 100rel");
    HeaderList always;
    EXPECT_EQ(rules(false, 2, true).addReliableHeaders(counter, always), 2);

    RSeqCounter nearTop(RSeqCounter::kMax - 1);
    EXPECT_EQ(nearTop.next(), RSeqCounter::kMax);
    EXPECT_EQ(nearTop.next(), 1);
}

TEST(ReliableProvisionalRules, RSeqOutOfOrderIsRefusedAndLogged) {
    tessaly_test::LogCapture log;
    const ReliableProvisionalRules checking = rules(true, 1);
    std::int64_t last = -1;
    std::vector<ReceivedProvisional::Verdict> verdicts;
    for (const char* rseq : {"5", "6", "8", "6", "5"}) {
        HeaderList response = headerLines(std::string("Require: 100rel\nRSeq: ") + rseq);
        const ReceivedProvisional received = checking.checkProvisional(1, response, last);
        verdicts.push_back(received.verdict);
        if (received.verdict == ReceivedProvisional::Accepted) last = received.rseq;
    }
    using V = ReceivedProvisional::Verdict;
    EXPECT_EQ(verdicts, (std::vector<V>{V::Accepted, V::Accepted, V::Refused, V::Refused, V::Refused}));
    const std::string text = log.text();
    for (const char* line : {"Detected higher RSeq, LastRSeq=6, RSeq=8.", "Detected same RSeq, LastRSeq=6, RSeq=6.",
                             "Detected lower RSeq, LastRSeq=6, RSeq=5."}) {
        EXPECT_NE(text.find(std::string("SipSession::checkRSeqNumber. ") + line + "\n"), std::string::npos) << text;
    }
    EXPECT_TRUE(ReliableProvisionalRules::checkRSeqNumber(6, 8, true));
}

TEST(ReliableProvisionalRules, OnlyARequiredNumberedProvisionalToAnOfferIsReliable) {
    struct Case {
        bool process100rel;
        int inviteType;
        std::string response;
        ReceivedProvisional::Verdict verdict;
        std::int64_t rseq;
    };
    using V = ReceivedProvisional::Verdict;
    const std::vector<Case> cases = {
        {true, 1, "Require: 100rel\nRSeq: 4294967295", V::Accepted, 4294967295},
        {true, 2, "Require: timer, 100rel\nRSeq: 1", V::Accepted, 1},
        {true, 0, "Require: 100rel\nRSeq: 1", V::Unreliable, -1},
        {false, 2, "Require: 100rel\nRSeq: 1", V::Unreliable, -1},
        {true, 1, "Supported: 100rel\nRSeq: 1", V::Unreliable, -1},
        {true, 1, "Require: 100rel", V::Unreliable, -1},
        {true, 1, "Require: 100rel\nRSeq: 4294967296", V::Unreliable, -1},
        {true, 1, "Require: 100rel\nRSeq: one", V::Unreliable, -1},
    };
    for (const Case& c : cases) {
        HeaderList response = headerLines(c.response);
        const ReceivedProvisional received = rules(c.process100rel, 0).checkProvisional(c.inviteType, response, -1);
        EXPECT_EQ(received.verdict, c.verdict) << c.response;
        EXPECT_EQ(received.rseq, c.rseq) << c.response;
    }
}

TEST(PrAckMatch, RAckMustNameTheLastRSeqAndTheInvite) {
    struct Case { bool waiting; std::string prack; PrAckVerdict verdict; };
    const std::vector<Case> cases = {
        {true, "RAck: 7 314 INVITE", PrAckVerdict::Matched},
        {false, "RAck: 7 314 INVITE", PrAckVerdict::NotWaiting},
        {true, "", PrAckVerdict::InvalidRAck},
        {true, "RAck: 7", PrAckVerdict::InvalidRAck},
        {true, "RAck: seven 314 INVITE", PrAckVerdict::InvalidRAck},
        {true, "RAck: 4294967303 314 INVITE", PrAckVerdict::InvalidRAck},
        {true, "RAck: 6 314 INVITE", PrAckVerdict::WrongRSeq},
        {true, "RAck: 8 314 INVITE", PrAckVerdict::WrongRSeq},
        {true, "RAck: 7 315 INVITE", PrAckVerdict::WrongCSeq},
        {true, "RAck: 7 314 UPDATE", PrAckVerdict::WrongCSeq},
    };
    for (const Case& c : cases) {
        HeaderList prack = headerLines(c.prack);
        const PrAckVerdict verdict = matchPrAck(prack, c.waiting, 314, 7);
        EXPECT_EQ(verdict, c.verdict) << c.prack;
        EXPECT_EQ(prAckAnswerStatus(verdict), c.verdict == PrAckVerdict::Matched ? 200 : 481) << c.prack;
    }
}

}  // namespace
}  // namespace kel_sip::test
