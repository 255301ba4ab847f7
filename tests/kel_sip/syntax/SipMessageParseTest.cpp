#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "SipCorpus.h"
#include "SipTestMessages.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipIntField.h"
#include "kel_sip/syntax/SipSessionExpires.h"
#include "kel_sip/syntax/SipStrList.h"

using namespace kel_sip;
using namespace kel_sip::test;
using Position = kel_util::RFC822ValueList::Position;

namespace {

const char* const kHead[] = {"Via: SIP/2.0/UDP 192.0.2.10;branch=z9hG4bK1", "From: <sip:a@x>;tag=1", "To: <sip:b@y>",
                             "Call-ID: c1", "CSeq: 1 MESSAGE"};

std::string withHead(std::string_view startLine, std::initializer_list<std::string_view> extra, std::string_view body = {}) {
    std::string text(startLine);
    text += "\r\n";
    for (const char* line : kHead) text += std::string(line) + "\r\n";
    for (std::string_view line : extra) text += std::string(line) + "\r\n";
    text += "\r\n";
    text.append(body);
    return text;
}

}  // namespace

TEST(SipMessageParse, StartLineFailures) {
    EXPECT_EQ(parseFailure(""), "no first line");
    EXPECT_EQ(parseFailure("\r\nINVITE sip:a@b SIP/2.0\r\n"), "no first line");
    EXPECT_EQ(parseFailure("INVITE sip:bob@example.org SIP/2.0"), "no header");
    EXPECT_EQ(parseFailure("INVITE sip:bob@example.org SIP/2.0\r\n"), "no header");
    EXPECT_EQ(parseFailure(withHead("SIP/2.0 180", {})), "invalid first line, (no reason phrase)");
    EXPECT_EQ(parseFailure(withHead("SIP/2.0 180 ", {})), "invalid first line, (no reason phrase)");
    EXPECT_EQ(parseFailure(withHead("SIP/2.0", {})), "invalid first line, (no version)");
    EXPECT_EQ(parseFailure(withHead("SIP/2.0 ", {})), "invalid first line, (no status code)");
    EXPECT_EQ(parseFailure(withHead("INVITE", {})), "invalid first line, (no request URI)");
    EXPECT_EQ(parseFailure(withHead(" sip:a@b SIP/2.0", {})), "invalid first line, (no method)");
    EXPECT_EQ(parseFailure(withHead("INVITE sip:a@b", {})), "invalid first line, (no version)");
    EXPECT_EQ(parseFailure(withHead("INVITE nocolon SIP/2.0", {})).rfind("invalid first line, (invalid uri", 0), 0u);
}

TEST(SipMessageParse, StatusCodeMustBeThreeDigitsInRange) {
    for (const char* line : {"SIP/2.0 99 Odd", "SIP/2.0 700 Odd", "SIP/2.0 -200 OK", "SIP/2.0 2OO OK",
                             "SIP/2.0 4294967496 OK", "SIP/2.0 +200 OK"}) {
        EXPECT_EQ(parseFailure(withHead(line, {})), "invalid first line, (invalid status code)") << line;
    }
    const SipMessageExt ok = parsed(withHead("SIP/2.0 699 Reason with  two spaces", {}));
    EXPECT_EQ(ok.statusCode, 699);
    EXPECT_EQ(ok.reasonPhrase, "Reason with  two spaces");
    EXPECT_FALSE(ok.isRequest);
}

TEST(SipMessageParse, BodyIsCutToContentLengthAndShortBodiesFail) {
    const SipMessageExt longer = parsed(withHead("MESSAGE sip:b@y SIP/2.0", {"Content-Length: 5"}, "Hello, world"));
    EXPECT_EQ(longer.body.view(), "Hello");
    EXPECT_EQ(parseFailure(withHead("MESSAGE sip:b@y SIP/2.0", {"Content-Length: 50"}, "Hello")),
              "content data length too short");
    const SipMessageExt open = parsed(withHead("MESSAGE sip:b@y SIP/2.0", {}, "all\r\nof it"));
    EXPECT_EQ(open.body.view(), "all\r\nof it");
    // A datagram cut inside its header block that announced a body lost that body.
    EXPECT_EQ(parseFailure("MESSAGE sip:b@y SIP/2.0\r\nContent-Length: 5\r\nCall-ID: c1\r\n"),
              "content data length too short");
    const SipMessageExt noBlankLine = parsed("OPTIONS sip:b@y SIP/2.0\r\nCall-ID: c1\r\nContent-Length: 0");
    EXPECT_EQ(noBlankLine.callId, "c1");
}

TEST(SipMessageParse, ContentLengthMustBePlainDigitsWithinTheDatagramLimit) {
    for (const char* value : {"-1", "abc", "5x", "65536", "99999999999999999999", "+5", "0x10", ""}) {
        EXPECT_EQ(parseFailure(withHead("MESSAGE sip:b@y SIP/2.0", {std::string("Content-Length: ") + value}, "Hello")),
                  "invalid Content-Length")
            << value;
    }
    EXPECT_EQ(parseFailure(withHead("MESSAGE sip:b@y SIP/2.0", {"Content-Length: 5", "l: 4"}, "Hello")),
              "invalid Content-Length");
    const SipMessageExt same = parsed(withHead("MESSAGE sip:b@y SIP/2.0", {"Content-Length: 5 ", "l: 5"}, "Hello"));
    EXPECT_EQ(same.body.view(), "Hello");
}

TEST(SipMessageParse, DecimalFieldsAreCheckedWithoutWrapping) {
    EXPECT_EQ(parseFailure(withHead("MESSAGE sip:b@y SIP/2.0", {"Max-Forwards: -1"})), "invalid Max-Forwards");
    EXPECT_EQ(parseFailure(withHead("MESSAGE sip:b@y SIP/2.0", {"Max-Forwards: 4294967366"})), "invalid Max-Forwards");
    const std::string badCSeq =
        wire({"MESSAGE sip:b@y SIP/2.0", "Via: SIP/2.0/UDP h;branch=z9hG4bK1", "CSeq: 2147483648 MESSAGE"});
    EXPECT_EQ(parseFailure(badCSeq).rfind("invalid CSeq, (invalid cseq", 0), 0u);
    const std::string badPort = wire({"MESSAGE sip:b@y SIP/2.0", "Via: SIP/2.0/UDP h:65536;branch=z9hG4bK1"});
    EXPECT_EQ(parseFailure(badPort).rfind("invalid Via, (invalid via", 0), 0u);
}

TEST(SipMessageParse, BadViaElementIsLeftOutAndTheFirstKept) {
    SipMessageExt message;
    std::string reason;
    const std::string text = wire({"OPTIONS sip:b@y SIP/2.0",
                                   "Via: SIP/2.0/UDP 192.0.2.1;branch=z9hG4bK1, SIP/2.0/UDP", "Call-ID: c1"});
    EXPECT_FALSE(message.parse(text.data(), static_cast<int>(text.size()), reason));
    EXPECT_EQ(reason.rfind("invalid Via, (", 0), 0u) << reason;
    ASSERT_EQ(message.vias.size(), 1u);
    EXPECT_EQ(message.vias[0].getBranch(), "z9hG4bK1");
    // The headers after the bad one were still read.
    EXPECT_EQ(message.callId, "c1");
}

TEST(SipMessageParse, QuotedCommaInAViaParameterSplitsNoVia) {
    SipMessageExt message;
    std::string reason;
    const std::string text = withHead("OPTIONS sip:b@y SIP/2.0", {"Via: SIP/2.0/TCP h2;branch=z9hG4bK2;x=\"a, b\", SIP/2.0/UDP h3"});
    ASSERT_TRUE(message.parse(text.data(), static_cast<int>(text.size()), reason)) << reason;
    ASSERT_EQ(message.vias.size(), 3u);
    ASSERT_NE(message.vias[1].findParameter("x"), nullptr);
    EXPECT_EQ(message.vias[1].findParameter("x")->value, "\"a, b\"");
    EXPECT_EQ(message.vias[2].getSentBy().host, "h3");
    // A quote outside a parameter value is no token byte and fails the Via.
    const std::string stray = withHead("OPTIONS sip:b@y SIP/2.0", {"Via: S\"IP/2.0/UDP h2;branch=z9hG4bK2, SIP/2.0/UDP h3"});
    EXPECT_FALSE(message.parse(stray.data(), static_cast<int>(stray.size()), reason));
    EXPECT_EQ(reason.rfind("invalid Via, (", 0), 0u) << reason;
}

TEST(SipMessageParse, HeaderErrorsCarryTheirWrappersAndLinesWithoutColonAreSkipped) {
    EXPECT_EQ(parseFailure(withHead("OPTIONS sip:b@y SIP/2.0", {"Route: <sip:p1;lr>, <nocolon>"})).rfind(
                  "invalid Route, (", 0),
              0u);
    EXPECT_EQ(parseFailure(withHead("OPTIONS sip:b@y SIP/2.0", {"Record-Route: <sip:p1;lr"})).rfind(
                  "invalid Record-Route, (", 0),
              0u);
    EXPECT_EQ(parseFailure(wire({"OPTIONS sip:b@y SIP/2.0", "From: <nocolon>"})).rfind("invalid From, (", 0), 0u);
    EXPECT_EQ(parseFailure(wire({"OPTIONS sip:b@y SIP/2.0", "To: <nocolon>"})).rfind("invalid To, (", 0), 0u);
    const SipMessageExt skipped = parsed(withHead("OPTIONS sip:b@y SIP/2.0", {"this line has no colon"}));
    EXPECT_EQ(skipped.callId, "c1");
    EXPECT_TRUE(skipped.headers.empty());
}

TEST(SipMessageParse, CompactNamesParseLikeFullNames) {
    const std::string full = wire({"INVITE sip:bob@example.org SIP/2.0", "Via: SIP/2.0/UDP h;branch=z9hG4bK1",
                                   "From: <sip:a@x>;tag=1", "To: <sip:b@y>", "Call-ID: c1", "CSeq: 1 INVITE",
                                   "Contact: <sip:a@h>", "Supported: timer", "Session-Expires: 90", "Subject: s",
                                   "Content-Encoding: gzip", "Content-Type: text/plain", "Content-Length: 2"},
                                  "hi");
    const std::string compact =
        wire({"INVITE sip:bob@example.org SIP/2.0", "v: SIP/2.0/UDP h;branch=z9hG4bK1", "f: <sip:a@x>;tag=1",
              "T: <sip:b@y>", "i: c1", "CSeq: 1 INVITE", "m: <sip:a@h>", "k: timer", "x: 90", "s: s", "e: gzip",
              "c: text/plain", "l: 2"},
             "hi");
    EXPECT_EQ(parsed(compact).toString(), parsed(full).toString());
    EXPECT_EQ(parsed(full).toString(), full);
}

TEST(SipMessageParse, UnknownHeadersStayByNameAndKnownOnesRawUntilAsked) {
    SipMessageExt message = parsed(withHead("OPTIONS sip:b@y SIP/2.0",
                                           {"X-Weird-Name: v1", "x-weird-name: v2", "Expires: 300",
                                            "Session-Expires: 1800;refresher=uas", "Min-SE: junk",
                                            "Supported: timer, 100rel", "Contact: <sip:a@h1>, <sip:b@h2>"}));
    ASSERT_EQ(message.headers.getEntries().size(), 1u);
    EXPECT_EQ(message.headers.getEntries()[0].name, "X-Weird-Name");
    EXPECT_EQ(message.headers.getEntries()[0].values.size(), 2);
    SipIntField expires;
    ASSERT_TRUE(message.getTypedHeader(SipHeader::Expires, expires));
    EXPECT_EQ(expires.getValue(), 300);
    SipSessionExpires sessionExpires;
    ASSERT_TRUE(message.getTypedHeader(SipHeader::SessionExpires, sessionExpires));
    EXPECT_EQ(sessionExpires.getRefresher(), SipSessionExpires::RefresherUas);
    // A raw value that does not parse counts as not found, and never throws.
    SipIntField minSe;
    EXPECT_FALSE(message.getTypedHeader(SipHeader::MinSE, minSe));
    EXPECT_FALSE(message.getTypedHeader(SipHeader::RSeq, minSe));
    SipContact contact;
    EXPECT_FALSE(message.getTypedHeader(SipHeader::Contact, contact));
    ASSERT_TRUE(message.getTypedHeader(SipHeader::Contact, contact, Position::First, true));
    EXPECT_EQ(contact.toString(), "<sip:a@h1>");
    std::vector<SipContact> contacts;
    ASSERT_TRUE(message.getContacts(contacts, {}));
    EXPECT_EQ(contacts.size(), 2u);
}

TEST(SipMessageParse, TypedSettersAndStringListMerge) {
    SipMessageExt message;
    message.addSessionExpires(-1, SipSessionExpires::RefresherUac);
    EXPECT_FALSE(message.hasHeader(SipHeader::SessionExpires));
    message.addSessionExpires(0, SipSessionExpires::RefresherUac);
    message.addSessionExpires(1800, SipSessionExpires::RefresherUac);
    const kel_util::RFC822ValueList* values = message.typedHeaders.find(SipHeader::SessionExpires);
    ASSERT_TRUE(values);
    EXPECT_EQ(values->getValues(), (std::vector<std::string>{"0", "1800;refresher=uac"}));

    message.addContacts({parsedValue<SipContact>("<sip:a@h1>;q=0.5"), parsedValue<SipContact>("*")});
    EXPECT_EQ(message.typedHeaders.find(SipHeader::Contact)->getValues(),
              (std::vector<std::string>{"<sip:a@h1>;q=0.5", "*"}));

    message.addHeader("Supported", "timer, 100rel");
    message.addHeader("k", "replaces,TIMER");
    message.mergeStrList(SipHeader::Supported, parsedValue<SipStrList>("path, 100REL, norefersub"));
    EXPECT_EQ(message.typedHeaders.find(SipHeader::Supported)->getValues(),
              (std::vector<std::string>{"timer,100rel,replaces,path,norefersub"}));
}

TEST(SipMessageParse, ReadsOnlyTheGivenBytesWithoutNeedingNul) {
    const std::string text = withHead("MESSAGE sip:b@y SIP/2.0", {"Content-Length: 2"}, "ok");
    // The bytes sit in a larger buffer followed by garbage and no NUL.
    auto buffer = std::make_unique<char[]>(text.size() + 8);
    std::memcpy(buffer.get(), text.data(), text.size());
    std::memset(buffer.get() + text.size(), 'Z', 8);
    SipMessageExt parsedMessage;
    std::string reason;
    ASSERT_TRUE(parsedMessage.parse(buffer.get(), static_cast<int>(text.size()), reason)) << reason;
    EXPECT_EQ(parsedMessage.body.view(), "ok");
    // Cutting the same bytes inside the body makes it too short.
    EXPECT_FALSE(parsedMessage.parse(buffer.get(), static_cast<int>(text.size()) - 1, reason));
    EXPECT_EQ(reason, "content data length too short");
}

TEST(SipMessageParse, BinaryAndUtf8BytesPassThroughHeadersAndBody) {
    std::string body("\0\x01\xff\xfe", 4);
    const SipMessageExt message = parsed(
        withHead("MESSAGE sip:b@y SIP/2.0", {"Subject: caf\xc3\xa9", "Content-Length: 4"}, body));
    EXPECT_EQ(message.body.view(), body);
    EXPECT_EQ(*const_cast<SipMessageExt&>(message).getHeader(SipHeader::Subject, Position::First), "caf\xc3\xa9");
}

TEST(SipMessageParse, UnescapeSwitchesDecodeOnInput) {
    SwitchScope scope;
    scope.set(SipSwitch::UnEscapeRequestURI);
    scope.set(SipSwitch::UnEscapeFrom);
    const SipMessageExt message = parsed(wire({"OPTIONS sip:a%20b@example.org SIP/2.0", "From: <sip:c%41t@x>;tag=1",
                                               "To: <sip:d%41g@y>", "Content-Length: 0"}));
    EXPECT_EQ(message.requestUri.userInfo.user, "a b");
    EXPECT_EQ(message.from.address.uri.userInfo.user, "cAt");
    EXPECT_EQ(message.to.address.uri.userInfo.user, "d%41g");
}
