#include "phone/PseudoRegisterAnswer.h"

#include "kel_sip/syntax/SipHeader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using kel_sip::SipHeader;
using kel_sip::SipMessageExt;

namespace {

constexpr std::int64_t kNow = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT

std::unique_ptr<SipMessageExt> registerWith(const std::string& extraHeaders, const std::string& toTag = "") {
    std::string text = "REGISTER sip:registrar.example.com SIP/2.0\r\n"
                       "Via: SIP/2.0/UDP 192.0.2.4:5060;branch=z9hG4bK776asdhds\r\n"
                       "Max-Forwards: 70\r\n"
                       "From: <sip:bob@example.com>;tag=456248\r\n"
                       "To: <sip:bob@example.com>" + (toTag.empty() ? "" : ";tag=" + toTag) + "\r\n"
                       "Call-ID: 843817637684230@998sdasdh09\r\n"
                       "CSeq: 1826 REGISTER\r\n" +
                       extraHeaders + "Content-Length: 0\r\n\r\n";
    auto message = std::make_unique<SipMessageExt>();
    std::string reason;
    EXPECT_TRUE(message->parse(text.data(), static_cast<int>(text.size()), reason)) << reason;
    return message;
}

std::vector<std::string> values(const SipMessageExt& message, int kind) {
    const kel_util::RFC822ValueList* list = message.typedHeaders.find(kind);
    return list == nullptr ? std::vector<std::string>{} : list->getValues();
}

std::string printed(const SipMessageExt& message) {
    std::string out;
    message.print(out);
    return out;
}

TEST(PseudoRegisterAnswer, TwoContactsWithoutExpiresGetBothBack3600AndADate) {
    const auto request = registerWith("Contact: <sip:bob@192.0.2.4>\r\nContact: <sip:bob@198.51.100.7:5070>\r\n");
    const auto response = PseudoRegisterAnswer::build(*request, 1, kNow);
    EXPECT_EQ(response->statusCode, 200);
    EXPECT_EQ(values(*response, SipHeader::Contact),
              (std::vector<std::string>{"<sip:bob@192.0.2.4>", "<sip:bob@198.51.100.7:5070>"}));
    EXPECT_EQ(values(*response, SipHeader::Expires), std::vector<std::string>{"3600"});
    EXPECT_EQ(values(*response, SipHeader::Date), std::vector<std::string>{"Sun, 06 Nov 1994 08:49:37 GMT"});
    EXPECT_EQ(response->to.tag.size(), 8u);
    EXPECT_EQ(response->cseq.getNumber(), 1826);
}

TEST(PseudoRegisterAnswer, OneContactValueHoldingAListIsAnsweredElementByElement) {
    const auto request = registerWith("Contact: <sip:a@192.0.2.4>, <sip:b@192.0.2.4>\r\n");
    const auto response = PseudoRegisterAnswer::build(*request, 1, kNow);
    EXPECT_EQ(values(*response, SipHeader::Contact).size(), 2u);
}

TEST(PseudoRegisterAnswer, WildcardWithExpiresZeroIsARemoveAllWithoutContact) {
    const auto request = registerWith("Contact: *\r\nExpires: 0\r\n");
    const auto response = PseudoRegisterAnswer::build(*request, 1, kNow);
    EXPECT_EQ(response->statusCode, 200);
    EXPECT_TRUE(values(*response, SipHeader::Contact).empty());
    EXPECT_EQ(values(*response, SipHeader::Expires), std::vector<std::string>{"0"});
    EXPECT_EQ(values(*response, SipHeader::Date).size(), 1u);
}

TEST(PseudoRegisterAnswer, ContactExpiresParameterSuppressesTheExpiresHeader) {
    const auto zero = PseudoRegisterAnswer::build(*registerWith("Contact: <sip:bob@192.0.2.4>;expires=0\r\n"), 1, kNow);
    EXPECT_EQ(values(*zero, SipHeader::Contact), std::vector<std::string>{"<sip:bob@192.0.2.4>;expires=0"});
    EXPECT_TRUE(values(*zero, SipHeader::Expires).empty());

    // One Contact with expires is enough, even with an Expires header beside it.
    const auto mixed = PseudoRegisterAnswer::build(
        *registerWith("Contact: <sip:a@192.0.2.4>;expires=60\r\nContact: <sip:b@192.0.2.4>\r\nExpires: 90\r\n"), 1,
        kNow);
    EXPECT_EQ(values(*mixed, SipHeader::Contact).size(), 2u);
    EXPECT_TRUE(values(*mixed, SipHeader::Expires).empty());
}

TEST(PseudoRegisterAnswer, ExpiresHeaderIsEchoedOnlyWhenPositive) {
    const auto positive = PseudoRegisterAnswer::build(*registerWith("Contact: <sip:b@192.0.2.4>\r\nExpires: 1800\r\n"), 1, kNow);
    EXPECT_EQ(values(*positive, SipHeader::Expires), std::vector<std::string>{"1800"});
    const auto zero = PseudoRegisterAnswer::build(*registerWith("Contact: <sip:b@192.0.2.4>\r\nExpires: 0\r\n"), 1, kNow);
    EXPECT_TRUE(values(*zero, SipHeader::Expires).empty());
    const auto largest =
        PseudoRegisterAnswer::build(*registerWith("Contact: <sip:b@192.0.2.4>\r\nExpires: 4294967295\r\n"), 1, kNow);
    EXPECT_EQ(values(*largest, SipHeader::Expires), std::vector<std::string>{"4294967295"});
}

TEST(PseudoRegisterAnswer, QueryWithoutContactGetsExpiresAndNoContact) {
    const auto response = PseudoRegisterAnswer::build(*registerWith(""), 1, kNow);
    EXPECT_EQ(response->statusCode, 200);
    EXPECT_TRUE(values(*response, SipHeader::Contact).empty());
    EXPECT_EQ(values(*response, SipHeader::Expires), std::vector<std::string>{"3600"});
}

TEST(PseudoRegisterAnswer, ExistingToTagIsKept) {
    const auto response = PseudoRegisterAnswer::build(*registerWith("", "f00d"), 1, kNow);
    EXPECT_EQ(response->to.tag, "f00d");
}

TEST(PseudoRegisterAnswer, ContactThatDoesNotParseIsRefusedWith400AndAReason) {
    const auto response = PseudoRegisterAnswer::build(*registerWith("Contact: <sip:bob@192.0.2.4>;expires=abc\r\n"), 1, kNow);
    EXPECT_EQ(response->statusCode, 400);
    EXPECT_FALSE(values(*response, SipHeader::ReasonPhrase).empty()) << printed(*response);
    EXPECT_TRUE(values(*response, SipHeader::Contact).empty());
}

}  // namespace
