#include <gtest/gtest.h>

#include <functional>

#include "SipTestMessages.h"
#include "kel_sip/syntax/SipMethod.h"

using namespace kel_sip;
using namespace kel_sip::test;

namespace {

SipMessageExt validRequest() {
    return parsed(wire({"FOO sip:bob@example.org SIP/2.0", "Via: SIP/2.0/UDP 192.0.2.10;branch=z9hG4bK1",
                        "From: <sip:alice@example.com>;tag=1", "To: <sip:bob@example.org>", "Call-ID: c1",
                        "CSeq: 1 foo", "Content-Length: 0"}));
}

SipMessageExt validResponse() {
    return parsed(wire({"SIP/2.0 200 OK", "Via: SIP/2.0/UDP 192.0.2.10;branch=z9hG4bK1",
                        "From: <sip:alice@example.com>;tag=1", "To: <sip:bob@example.org>;tag=2", "Call-ID: c1",
                        "CSeq: 1 INVITE", "Content-Length: 0"}));
}

struct Outcome {
    std::string reason;
    int status = 0;
};

Outcome validateAfter(SipMessageExt message, const std::function<void(SipMessageExt&)>& change) {
    change(message);
    Outcome outcome;
    EXPECT_FALSE(message.validate(outcome.reason, outcome.status));
    return outcome;
}

}  // namespace

TEST(SipMessageValidate, WellFormedMessagesPassIncludingMethodOutsideTheTableInOtherCase) {
    std::string reason;
    int status = 0;
    EXPECT_TRUE(validRequest().validate(reason, status)) << reason;
    EXPECT_TRUE(validResponse().validate(reason, status)) << reason;
    SipMessageExt tel = validRequest();
    tel.requestUri = parsedValue<SipURI>("tel:+15550100");
    EXPECT_TRUE(tel.validate(reason, status)) << reason;
}

TEST(SipMessageValidate, EveryReasonWithItsStatus) {
    struct Case {
        const char* reason;
        int status;
        std::function<void(SipMessageExt&)> change;
        bool response = false;
    };
    const Case cases[] = {
        {"invalid CSeq", 400, [](SipMessageExt& m) { m.cseq.clear(); }},
        {"invalid CSeq", 400, [](SipMessageExt& m) { m.cseq.setMethod(std::string_view()); }},
        {"Method empty", 400, [](SipMessageExt& m) { m.methodName.clear(); }},
        {"Method not matching in CSeq", 400, [](SipMessageExt& m) { m.cseq.setMethod("BAR"); }},
        {"Method not matching in CSeq", 400,
         [](SipMessageExt& m) {
             m.setMethod(SipMethod::Invite);
             m.cseq.setMethod(SipMethod::Bye);
         }},
        {"invalid SIP Version", 505, [](SipMessageExt& m) { m.sipVersion = "SIP/3.0"; }},
        {"invalid RequestURI", 416, [](SipMessageExt& m) { m.requestUri = parsedValue<SipURI>("http://example.org/"); }},
        {"invalid RequestURI", 416,
         [](SipMessageExt& m) {
             m.requestUri.clear();
             m.requestUri.scheme = "tel";
         }},
        {"invalid RequestURI", 416, [](SipMessageExt& m) { m.requestUri.hostPort.host.clear(); }},
        {"invalid RequestURI", 416, [](SipMessageExt& m) { m.requestUri.clear(); }},
        {"CallID empty", 400, [](SipMessageExt& m) { m.callId.clear(); }},
        {"invalid From", 400, [](SipMessageExt& m) { m.from.clear(); }},
        {"invalid To", 400, [](SipMessageExt& m) { m.to.address.uri = parsedValue<SipURI>("im:bob@example.org"); }},
        {"Via empty", 400, [](SipMessageExt& m) { m.vias.clear(); }},
        {"invalid first Via", 400, [](SipMessageExt& m) { m.vias.front().setTransport(""); }},
        {"invalid first Via", 400, [](SipMessageExt& m) { m.vias.front().getSentBy().host.clear(); }},
        {"invalid StatusCode", 400, [](SipMessageExt& m) { m.statusCode = 99; }, true},
        {"invalid StatusCode", 400, [](SipMessageExt& m) { m.statusCode = 700; }, true},
        {"ReasonPhrase empty", 400, [](SipMessageExt& m) { m.reasonPhrase.clear(); }, true},
        {"CallID empty", 400, [](SipMessageExt& m) { m.callId.clear(); }, true},
    };
    for (const Case& c : cases) {
        const Outcome outcome = validateAfter(c.response ? validResponse() : validRequest(), c.change);
        EXPECT_EQ(outcome.reason, c.reason);
        EXPECT_EQ(outcome.status, c.status) << c.reason;
    }
}
