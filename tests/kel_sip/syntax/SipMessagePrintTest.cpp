#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "SipCorpus.h"
#include "SipTestMessages.h"

using namespace kel_sip;
using namespace kel_sip::test;

namespace {

std::string sample() {
    return wire({"INVITE sip:bob@example.org SIP/2.0", "Via: SIP/2.0/UDP p2;branch=z9hG4bK2",
                 "Via: SIP/2.0/UDP p1;branch=z9hG4bK1", "Record-Route: <sip:p2;lr>", "Record-Route: <sip:p1;lr>",
                 "Route: <sip:r1;lr>, <sip:r2;lr>", "From: <sip:a@x>;tag=1", "To: <sip:b@y>", "Call-ID: c1",
                 "CSeq: 1 INVITE", "Max-Forwards: 70", "Contact: <sip:a@h1>", "Contact: <sip:a@h2>",
                 "Supported: timer", "Session-Expires: 90", "X-Generic: g", "Content-Type: text/plain",
                 "Content-Length: 2"},
                "hi");
}

std::string printedWith(std::initializer_list<SipSwitch> on) {
    SwitchScope scope;
    for (SipSwitch which : on) scope.set(which);
    SipMessageExt message = parsed(sample());
    return message.toString();
}

}  // namespace

TEST(SipMessagePrint, DefaultLayoutJoinsViaAndRoutesAndSplitsTypedValues) {
    EXPECT_EQ(printedWith({}),
              wire({"INVITE sip:bob@example.org SIP/2.0",
                    "Via: SIP/2.0/UDP p2;branch=z9hG4bK2, SIP/2.0/UDP p1;branch=z9hG4bK1",
                    "Record-Route: <sip:p2;lr>, <sip:p1;lr>", "Route: <sip:r1;lr>, <sip:r2;lr>",
                    "From: <sip:a@x>;tag=1", "To: <sip:b@y>", "Call-ID: c1", "CSeq: 1 INVITE", "Max-Forwards: 70",
                    "Contact: <sip:a@h1>", "Contact: <sip:a@h2>", "Supported: timer", "Session-Expires: 90",
                    "X-Generic: g", "Content-Type: text/plain", "Content-Length: 2"},
                   "hi"));
}

TEST(SipMessagePrint, CompactAffectsOnlyKindsWithACompactForm) {
    EXPECT_EQ(printedWith({SipSwitch::Compact}),
              wire({"INVITE sip:bob@example.org SIP/2.0", "v: SIP/2.0/UDP p2;branch=z9hG4bK2, SIP/2.0/UDP p1;branch=z9hG4bK1",
                    "Record-Route: <sip:p2;lr>, <sip:p1;lr>", "Route: <sip:r1;lr>, <sip:r2;lr>", "f: <sip:a@x>;tag=1",
                    "t: <sip:b@y>", "i: c1", "CSeq: 1 INVITE", "Max-Forwards: 70", "m: <sip:a@h1>", "m: <sip:a@h2>",
                    "k: timer", "x: 90", "X-Generic: g", "c: text/plain", "l: 2"},
                   "hi"));
}

TEST(SipMessagePrint, SeparateLineAndOneLineSwitches) {
    EXPECT_EQ(printedWith({SipSwitch::ViaSeparateLine, SipSwitch::RouteSeparateLine,
                           SipSwitch::RecordRouteSeparateLine, SipSwitch::SipHeaderOneLine}),
              wire({"INVITE sip:bob@example.org SIP/2.0", "Via: SIP/2.0/UDP p2;branch=z9hG4bK2",
                    "Via: SIP/2.0/UDP p1;branch=z9hG4bK1", "Record-Route: <sip:p2;lr>", "Record-Route: <sip:p1;lr>",
                    "Route: <sip:r1;lr>", "Route: <sip:r2;lr>", "From: <sip:a@x>;tag=1", "To: <sip:b@y>",
                    "Call-ID: c1", "CSeq: 1 INVITE", "Max-Forwards: 70", "Contact: <sip:a@h1>, <sip:a@h2>",
                    "Supported: timer", "Session-Expires: 90", "X-Generic: g", "Content-Type: text/plain",
                    "Content-Length: 2"},
                   "hi"));
}

TEST(SipMessagePrint, OneLineNeverCombinesChallengesOrCredentials) {
    SwitchScope scope;
    scope.set(SipSwitch::SipHeaderOneLine);
    SipMessageExt message = parsed(wire({"SIP/2.0 401 Unauthorized", "Via: SIP/2.0/UDP p1;branch=z9hG4bK1",
                                         "WWW-Authenticate: Digest realm=\"a\", nonce=\"1\"",
                                         "WWW-Authenticate: Digest realm=\"b\", nonce=\"2\"", "Allow: INVITE",
                                         "Allow: BYE", "Content-Length: 0"}));
    const std::string out = message.toString();
    EXPECT_NE(out.find("\r\nWWW-Authenticate: Digest realm=\"a\", nonce=\"1\"\r\n"
                       "WWW-Authenticate: Digest realm=\"b\", nonce=\"2\"\r\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\r\nAllow: INVITE, BYE\r\n"), std::string::npos) << out;
}

TEST(SipMessagePrint, LayoutIsTakenWhenTheMessageIsMadeOrCleared) {
    SwitchScope scope;
    SipMessageExt message = parsed(sample());
    scope.set(SipSwitch::Compact);
    EXPECT_EQ(message.toString().rfind("INVITE sip:bob@example.org SIP/2.0\r\nVia: ", 0), 0u);
    message.clear();
    EXPECT_TRUE(message.compact);
}

TEST(SipMessagePrint, EscapeSwitchesEscapeTheirHeadersOnly) {
    const std::string text = wire({"OPTIONS sip:a%20b@example.org SIP/2.0", "Record-Route: <sip:rr%20u@rr;lr>",
                                   "Route: <sip:r%20u@r;lr>", "From: <sip:f%20u@x>;tag=1",
                                   "To: <sip:t%20u@y>", "Contact: <sip:c%20u@h>, <sip:d%20u@h>", "Content-Length: 0"});
    SwitchScope scope;
    for (SipSwitch which : {SipSwitch::UnEscapeRequestURI, SipSwitch::UnEscapeRoute, SipSwitch::UnEscapeRecordRoute,
                            SipSwitch::UnEscapeFrom, SipSwitch::UnEscapeTo}) {
        scope.set(which);
    }
    SipMessageExt message = parsed(text);
    // Unescaped on input and not escaped on output: the blanks come out raw.
    EXPECT_NE(message.toString().find("From: <sip:f u@x>"), std::string::npos);
    for (SipSwitch which : {SipSwitch::EscapeRequestURI, SipSwitch::EscapeRoute, SipSwitch::EscapeRecordRoute,
                            SipSwitch::EscapeFrom, SipSwitch::EscapeTo, SipSwitch::EscapeContact}) {
        scope.set(which);
    }
    EXPECT_EQ(message.toString(), text);
    scope.set(SipSwitch::EscapeContact, false);
    scope.set(SipSwitch::EscapeTo, false);
    const std::string partly = message.toString();
    EXPECT_NE(partly.find("To: <sip:t u@y>"), std::string::npos);
    EXPECT_NE(partly.find("Contact: <sip:c%20u@h>, <sip:d%20u@h>"), std::string::npos);
}

TEST(SipMessagePrint, EscapedContactThatDoesNotParseIsKeptAsReceived) {
    SwitchScope scope;
    scope.set(SipSwitch::EscapeContact);
    SipMessageExt message = parsed(wire({"OPTIONS sip:b@y SIP/2.0", "Contact: <sip:a b@h>", "Contact: <broken",
                                         "Content-Length: 0"}));
    const std::string out = message.toString();
    EXPECT_NE(out.find("Contact: <sip:a%20b@h>\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Contact: <broken\r\n"), std::string::npos) << out;
}

TEST(SipMessagePrint, EmptyMessageAndMissingVersionStillPrintUsableLines) {
    SipMessageExt message;
    message.setMethod("OPTIONS");
    message.requestUri = parsedValue<SipURI>("sip:h");
    message.sipVersion.clear();
    EXPECT_EQ(message.toString(), "OPTIONS sip:h SIP/2.0\r\nContent-Length: 0\r\n\r\n");
}

TEST(SipMessagePrint, SwitchesMayChangeWhileAnotherThreadParsesAndPrints) {
    SwitchScope scope;
    const std::string text = sample();
    std::string full;
    std::string compact;
    {
        SipMessageExt message = parsed(text);
        full = message.toString();
        message.compact = true;
        compact = message.toString();
    }
    std::atomic<bool> done{false};
    std::thread flipper([&] {
        for (int i = 0; !done.load(); ++i) setSipSwitch(SipSwitch::Compact, i % 2 == 0);
    });
    for (int i = 0; i < 2000; ++i) {
        SipMessageExt message;
        std::string reason;
        ASSERT_TRUE(message.parse(text.data(), static_cast<int>(text.size()), reason));
        const std::string out = message.toString();
        ASSERT_TRUE(out == full || out == compact) << out;
    }
    done = true;
    flipper.join();
}

TEST(SipMessagePrint, FoldedLinesAreUnfoldedSoNoValueCanEndALineEarly) {
    // A CR followed by a blank folds: the value must not keep the CR, or printing it would
    // end the header block early.
    const std::string text = "OPTIONS sip:b@y SIP/2.0\r\nCall-ID: abc\r def\r\nSubject: one\r\n\ttwo\r\n"
                             "X-Folded: a\n b\r\nContent-Length: 0\r\n\r\n";
    SipMessageExt message = parsed(text);
    EXPECT_EQ(message.callId, "abc  def");
    const std::string out = message.toString();
    EXPECT_EQ(out, "OPTIONS sip:b@y SIP/2.0\r\nCall-ID: abc  def\r\nSubject: one  \ttwo\r\nX-Folded: a  b\r\n"
                   "Content-Length: 0\r\n\r\n");
}

TEST(SipMessagePrint, ElementsThatPrintNothingLeaveNoEmptyListEntry) {
    SipMessageExt message = parsed(sample());
    message.vias.insert(message.vias.begin(), SipVia());
    message.vias.push_back(SipVia());
    message.addHeader("Subject", "");
    const std::string out = message.toString();
    EXPECT_NE(out.find("\r\nVia: SIP/2.0/UDP p2;branch=z9hG4bK2, SIP/2.0/UDP p1;branch=z9hG4bK1\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\r\nSubject: \r\n"), std::string::npos) << out;
}
