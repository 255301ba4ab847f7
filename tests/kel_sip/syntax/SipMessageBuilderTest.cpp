#include <gtest/gtest.h>

#include <string>

#include "SipCorpus.h"
#include "SipTestMessages.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMethod.h"

using namespace kel_sip;
using namespace kel_sip::test;
using Position = kel_util::RFC822ValueList::Position;

namespace {

std::vector<std::string> routeTexts(const std::vector<SipRoute>& routes) {
    std::vector<std::string> texts;
    for (const SipRoute& route : routes) texts.push_back(route.toString());
    return texts;
}

std::vector<SipRoute> routeSet(std::initializer_list<const char*> texts) {
    std::vector<SipRoute> routes;
    for (const char* text : texts) routes.push_back(parsedValue<SipRoute>(text));
    return routes;
}

}  // namespace

TEST(SipMessageBuilder, CancelCopiesTopViaAndDialogFieldsAndRoutesOnlyWhenAsked) {
    SipMessageExt invite = parsed(inviteWithRoutes());
    invite.vias.insert(invite.vias.begin() + 1, parsedValue<SipVia>("SIP/2.0/UDP 10.0.0.9;branch=z9hG4bKlower"));
    invite.peer = {"203.0.113.7", 5070};
    invite.transportId = 3;
    invite.transportType = 1;
    invite.connectionId = 12;
    for (bool withRoutes : {true, false}) {
        auto cancel = invite.createCancel(withRoutes);
        ASSERT_TRUE(cancel);
        EXPECT_TRUE(cancel->isRequest);
        EXPECT_EQ(cancel->getMethodName(), "CANCEL");
        EXPECT_EQ(cancel->cseq.toString(), "17 CANCEL");
        EXPECT_EQ(cancel->requestUri.toString(), "sip:bob@example.org");
        ASSERT_EQ(cancel->vias.size(), 1u);
        EXPECT_EQ(cancel->vias[0].getBranch(), "z9hG4bKaaaa1111");
        EXPECT_EQ(cancel->from.tag, "f1");
        EXPECT_EQ(cancel->callId, "c1@192.0.2.10");
        EXPECT_EQ(cancel->maxForwards, 70);
        EXPECT_EQ(cancel->body.getLength(), 0);
        EXPECT_FALSE(cancel->hasHeader(SipHeader::Contact));
        EXPECT_EQ(cancel->peer, invite.peer);
        EXPECT_EQ(cancel->connectionId, 12);
        EXPECT_EQ(cancel->routes.size(), withRoutes ? 2u : 0u);
        std::string reason;
        int status = 0;
        EXPECT_TRUE(cancel->validate(reason, status)) << reason;
    }
    SipMessageExt response = invite;
    response.setResponse(180);
    EXPECT_FALSE(response.createCancel(true));
}

TEST(SipMessageBuilder, NonSuccessAckKeepsTheRoutesOfTheInvite) {
    const SipMessageExt invite = parsed(inviteWithRoutes());
    const std::string expected =
        wire({"ACK sip:bob@example.org SIP/2.0", "Via: SIP/2.0/UDP 192.0.2.10:5060;branch=z9hG4bKaaaa1111;rport",
              "Route: <sip:proxy1.example.com;lr>, <sip:proxy2.example.org;lr>",
              "From: \"Alice\" <sip:alice@example.com>;tag=f1", "To: <sip:bob@example.org>", "Call-ID: c1@192.0.2.10",
              "CSeq: 17 ACK", "Max-Forwards: 70", "Content-Length: 0"});
    SipMessageExt ack;
    ASSERT_TRUE(invite.makeRequestFrom(ack, SipMethod::Ack, true));
    EXPECT_EQ(ack.toString(), expected);
    ASSERT_TRUE(invite.makeRequestFrom(ack, SipMethod::Ack, false));
    EXPECT_TRUE(ack.routes.empty());

    // makeAck on a copy of the INVITE gives the same ACK (RFC 3261 section 17.1.1.3).
    SipMessageExt copy = invite;
    copy.vias.push_back(parsedValue<SipVia>("SIP/2.0/UDP 10.0.0.9;branch=z9hG4bKx"));
    copy.recordRoutes = copy.routes;
    ASSERT_TRUE(copy.makeAck());
    EXPECT_EQ(copy.toString(), expected);

    // Route values held as raw text stay too, as makeRequestFrom copies them.
    SipMessageExt raw = invite;
    raw.routes.clear();
    raw.addHeader("Route", "<sip:proxy1.example.com;lr>");
    raw.addHeader("Supported", "timer");
    ASSERT_TRUE(raw.makeAck());
    const std::string* route = raw.getHeader(SipHeader::Route, Position::First);
    ASSERT_NE(route, nullptr);
    EXPECT_EQ(*route, "<sip:proxy1.example.com;lr>");
    EXPECT_FALSE(raw.hasHeader(SipHeader::Supported));
}

TEST(SipMessageBuilder, MakeAckAndMakeRequestFromRefuseResponses) {
    SipMessageExt response = parsed(inviteWithRoutes());
    response.setResponse(486);
    SipMessageExt target;
    EXPECT_FALSE(response.makeAck());
    EXPECT_FALSE(response.makeRequestFrom(target, SipMethod::Ack, true));
}

TEST(SipMessageBuilder, SetResponseKeepsViasAndDialogFieldsAndDropsTheRest) {
    SipMessageExt message = parsed(inviteWithRoutes());
    message.headers.addValue("X-Test", "1");
    message.setResponse(603);
    EXPECT_EQ(message.toString(),
              wire({"SIP/2.0 603 Decline", "Via: SIP/2.0/UDP 192.0.2.10:5060;branch=z9hG4bKaaaa1111;rport",
                    "From: \"Alice\" <sip:alice@example.com>;tag=f1", "To: <sip:bob@example.org>",
                    "Call-ID: c1@192.0.2.10", "CSeq: 17 INVITE", "Content-Length: 0"}));
    message.setResponse(599, "Custom");
    EXPECT_EQ(message.reasonPhrase, "Custom");
    message.setResponse(599);
    EXPECT_EQ(message.reasonPhrase, "Undefined Error");
    EXPECT_EQ(message.getMethodName(), "INVITE");
}

TEST(SipMessageBuilder, LooseRoutingKeepsRemoteTargetAsRequestUri) {
    SipMessageExt request;
    const SipURI target = parsedValue<SipURI>("sip:bob@198.51.100.20:5062");
    EXPECT_FALSE(request.setTarget(target, routeSet({"<sip:p1.example.com;lr>", "<sip:p2.example.com>"})));
    EXPECT_EQ(request.requestUri.toString(), "sip:bob@198.51.100.20:5062");
    EXPECT_EQ(routeTexts(request.routes),
              (std::vector<std::string>{"<sip:p1.example.com;lr>", "<sip:p2.example.com>"}));
    EXPECT_FALSE(request.setTarget(target, {}));
    EXPECT_TRUE(request.routes.empty());
    EXPECT_EQ(request.requestUri.toString(), "sip:bob@198.51.100.20:5062");
    // A route set without any SIP URI leaves the remote target as the Request-URI.
    EXPECT_FALSE(request.setTarget(target, routeSet({"<tel:+15550100>"})));
    EXPECT_EQ(request.requestUri.toString(), "sip:bob@198.51.100.20:5062");
}

TEST(SipMessageBuilder, StrictRoutingPutsFirstRouteInRequestUriAndAppendsRemoteTarget) {
    SipMessageExt request;
    const SipURI target = parsedValue<SipURI>("sip:bob@198.51.100.20");
    EXPECT_TRUE(request.setTarget(target, routeSet({"<sip:strict.example.com;transport=tcp;method=INVITE>",
                                                    "<sip:p2.example.com;lr>"})));
    EXPECT_EQ(request.requestUri.toString(), "sip:strict.example.com;transport=tcp");
    EXPECT_EQ(routeTexts(request.routes),
              (std::vector<std::string>{"<sip:p2.example.com;lr>", "<sip:bob@198.51.100.20>"}));
}

TEST(SipMessageBuilder, FilledResponseCarriesTheHeaderItsStatusCalls) {
    const SipMessageExt request = parsed(inviteWithRoutes());
    struct Case {
        int code;
        int kind;
        const char* expected;
    };
    const Case textCases[] = {{400, SipHeader::ReasonPhrase, "bad things"},
                              {401, SipHeader::WwwAuthenticate, "Digest realm=\"a\", nonce=\"n\""},
                              {407, SipHeader::ProxyAuthenticate, "Digest realm=\"b\", nonce=\"m\""},
                              {420, SipHeader::Unsupported, "100rel"},
                              {489, SipHeader::AllowEvents, "presence"}};
    for (const Case& c : textCases) {
        auto response = request.createResponse(c.code, nullptr, c.expected, false);
        ASSERT_TRUE(response->getHeader(c.kind, Position::First)) << c.code;
        EXPECT_EQ(*response->getHeader(c.kind, Position::First), c.expected);
        EXPECT_EQ(response->typedHeaders.getEntries().size(), 1u);
        EXPECT_FALSE(request.createResponse(c.code, nullptr, static_cast<const char*>(nullptr), false)
                         ->hasHeader(c.kind));
    }
    const Case numberCases[] = {{422, SipHeader::MinSE, "90"}, {423, SipHeader::MinExpires, "3600"},
                                {500, SipHeader::RetryAfter, "5"}};
    for (const Case& c : numberCases) {
        auto response = request.createResponse(c.code, nullptr, std::stoi(c.expected), false);
        ASSERT_TRUE(response->getHeader(c.kind, Position::First)) << c.code;
        EXPECT_EQ(*response->getHeader(c.kind, Position::First), c.expected);
        EXPECT_FALSE(request.createResponse(c.code, nullptr, 0, false)->hasHeader(c.kind));
    }
    // Codes without a header of their own add nothing; the phrase comes from the table.
    auto ok = request.createResponse(200, nullptr, "ignored", false);
    EXPECT_TRUE(ok->typedHeaders.empty());
    EXPECT_EQ(ok->reasonPhrase, "OK");
    EXPECT_TRUE(request.createResponse(401, nullptr, 5, false)->typedHeaders.empty());
}

TEST(SipMessageBuilder, ResponseCopiesViasDialogFieldsAndTransportIds) {
    SipMessageExt request = parsed(inviteWithRoutes());
    request.vias.push_back(parsedValue<SipVia>("SIP/2.0/UDP 10.0.0.9;branch=z9hG4bKsecond"));
    request.peer = {"192.0.2.10", 5060};
    request.transportId = 0;
    request.transportType = 0;
    request.connectionId = 4;
    auto response = request.createResponse(180, nullptr, true);
    EXPECT_EQ(response->toString(),
              wire({"SIP/2.0 180 Ringing",
                    "Via: SIP/2.0/UDP 192.0.2.10:5060;branch=z9hG4bKaaaa1111;rport, SIP/2.0/UDP "
                    "10.0.0.9;branch=z9hG4bKsecond",
                    "From: \"Alice\" <sip:alice@example.com>;tag=f1", "To: <sip:bob@example.org>",
                    "Call-ID: c1@192.0.2.10", "CSeq: 17 INVITE", "Content-Length: 0"}));
    EXPECT_EQ(response->peer, request.peer);
    EXPECT_EQ(response->connectionId, 4);
    EXPECT_TRUE(request.createResponse(180, "Ringing", false)->peer.empty());
    EXPECT_EQ(request.createResponse(180, "Ringing", false)->transportId, 0);
}

TEST(SipMessageBuilder, TryingCarriesTheTimestampOfTheRequest) {
    // RFC 3261 section 8.2.6.1.
    SipMessageExt request = parsed(inviteWithRoutes());
    request.addHeader("Timestamp", "54.2 0.1");
    auto trying = request.createResponse(100, nullptr, false);
    const std::string* stamp = trying->getHeader(SipHeader::Timestamp, Position::First);
    ASSERT_NE(stamp, nullptr);
    EXPECT_EQ(*stamp, "54.2 0.1");
    EXPECT_FALSE(request.createResponse(180, nullptr, false)->hasHeader(SipHeader::Timestamp));
}

TEST(SipMessageBuilder, CreateRequestSetsFieldsAndContact) {
    SipRequestFields fields;
    fields.methodKind = SipMethod::Options;
    fields.from = parsedValue<SipFromTo>("<sip:alice@example.com>;tag=a1");
    fields.to = parsedValue<SipFromTo>("<sip:bob@example.org>");
    fields.callId = "id1@host";
    fields.cseqNumber = 5;
    const SipContact contact = parsedValue<SipContact>("<sip:alice@192.0.2.10>;expires=60");
    fields.contact = &contact;
    auto request = SipMessageExt::createRequest(fields, parsedValue<SipURI>("sip:bob@example.org"));
    EXPECT_EQ(request->toString(),
              wire({"OPTIONS sip:bob@example.org SIP/2.0", "From: <sip:alice@example.com>;tag=a1",
                    "To: <sip:bob@example.org>", "Call-ID: id1@host", "CSeq: 5 OPTIONS", "Max-Forwards: 70",
                    "Contact: <sip:alice@192.0.2.10>;expires=60", "Content-Length: 0"}));
    EXPECT_EQ(request->transportId, -1);
}

TEST(SipMessageBuilder, AckAndByeFromTwoHundredFollowRecordRoutesInReverse) {
    SipMessageExt ok = parsed(wire({"SIP/2.0 200 OK", "Via: SIP/2.0/UDP 192.0.2.10:5060;branch=z9hG4bKaaaa1111",
                                    "Record-Route: <sip:proxy2.example.org;lr>",
                                    "Record-Route: <sip:proxy1.example.com;lr>",
                                    "From: <sip:alice@example.com>;tag=f1", "To: <sip:bob@example.org>;tag=t2",
                                    "Call-ID: c1@192.0.2.10", "CSeq: 17 INVITE",
                                    "Contact: <sip:bob@198.51.100.20:5062>, <sip:other@198.51.100.21>",
                                    "Content-Length: 0"}));
    ok.transportId = 2;
    ok.transportType = 1;
    ok.connectionId = 9;
    for (int method : {SipMethod::Ack, SipMethod::Bye}) {
        auto request = SipMessageExt::createRequestFromResponse(method, ok, nullptr, 0, 70, false);
        ASSERT_TRUE(request);
        EXPECT_EQ(request->getMethodName(), SipMethod::nameOf(method));
        EXPECT_EQ(request->requestUri.toString(), "sip:bob@198.51.100.20:5062");
        // The proxy nearest to this side comes first (RFC 3261 section 12.1.2).
        EXPECT_EQ(routeTexts(request->routes),
                  (std::vector<std::string>{"<sip:proxy1.example.com;lr>", "<sip:proxy2.example.org;lr>"}));
        EXPECT_EQ(request->to.tag, "t2");
        EXPECT_EQ(request->cseq.getNumber(), 17);
        EXPECT_EQ(request->transportType, 1);
        EXPECT_EQ(request->connectionId, -1);
        ASSERT_TRUE(request->setMessagePeer());
        EXPECT_EQ(request->peer, (SipPeerAddress{"proxy1.example.com", 5060}));
    }
    auto skipped = SipMessageExt::createRequestFromResponse(SipMethod::Bye, ok, nullptr, 1, 70, true);
    EXPECT_EQ(routeTexts(skipped->routes), (std::vector<std::string>{"<sip:proxy1.example.com;lr>"}));
    EXPECT_EQ(skipped->connectionId, 9);
    EXPECT_TRUE(SipMessageExt::createRequestFromResponse(SipMethod::Bye, ok, nullptr, 5, 70, true)->routes.empty());
}

TEST(SipMessageBuilder, NoRequestFromResponseWithoutUsableContact) {
    for (const char* contact : {"*", "<tel:+15550100>", "<mailto:bob@example.org>"}) {
        SipMessageExt ok = parsed(wire({"SIP/2.0 200 OK", "Via: SIP/2.0/UDP h;branch=z9hG4bK1",
                                        "From: <sip:a@x>;tag=1", "To: <sip:b@y>;tag=2", "Call-ID: c", "CSeq: 1 INVITE",
                                        std::string("Contact: ") + contact, "Content-Length: 0"}));
        EXPECT_FALSE(SipMessageExt::createRequestFromResponse(SipMethod::Ack, ok, nullptr, 0, 70, false)) << contact;
    }
    SipMessageExt none = parsed(wire({"SIP/2.0 200 OK", "Via: SIP/2.0/UDP h;branch=z9hG4bK1", "From: <sip:a@x>;tag=1",
                                      "To: <sip:b@y>;tag=2", "Call-ID: c", "CSeq: 1 INVITE", "Content-Length: 0"}));
    EXPECT_FALSE(SipMessageExt::createRequestFromResponse(SipMethod::Ack, none, nullptr, 0, 70, false));
}

TEST(SipMessageBuilder, AddRoutesAppendsAndPrependRecordRoutesKeepsOrder) {
    SipMessageExt message;
    message.addRoutes(routeSet({"<sip:a;lr>"}));
    message.addRoutes(routeSet({"<sip:b;lr>", "<sip:c;lr>"}));
    EXPECT_EQ(routeTexts(message.routes), (std::vector<std::string>{"<sip:a;lr>", "<sip:b;lr>", "<sip:c;lr>"}));
    message.prependRecordRoutes(routeSet({"<sip:z;lr>"}));
    message.prependRecordRoutes(routeSet({"<sip:x;lr>", "<sip:y;lr>"}));
    EXPECT_EQ(routeTexts(message.recordRoutes), (std::vector<std::string>{"<sip:x;lr>", "<sip:y;lr>", "<sip:z;lr>"}));
}
