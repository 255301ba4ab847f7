#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "SipCorpus.h"
#include "kel_sip/syntax/SipDigestChallenge.h"
#include "kel_sip/syntax/SipDigestHash.h"
#include "kel_sip/syntax/SipDigestResponse.h"

using kel_sip::SipDigestChallenge;
using kel_sip::SipDigestInput;
using kel_sip::SipDigestResponse;
using kel_sip::SipParseException;

namespace {

template <typename Param>
void parseText(Param& param, const std::string& text) {
    param.parse(text.data(), static_cast<int>(text.size()), true);
}

kel_sip::SipURI uriOf(const std::string& text) {
    kel_sip::SipURI uri;
    parseText(uri, text);
    return uri;
}

// The text form of the error that parsing text throws, or "" when it parses.
template <typename Param>
std::string parseError(const std::string& text) {
    Param param;
    try {
        parseText(param, text);
    } catch (const SipParseException& e) {
        EXPECT_TRUE(param.empty()) << text;
        return e.toString();
    }
    return {};
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) fields.push_back(field);
    if (!line.empty() && line.back() == '\t') fields.emplace_back();
    return fields;
}

std::string fromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

bool isLowerHex(const std::string& text) {
    return text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

const char* const rfc3261Challenge =
    "Digest realm=\"atlanta.com\", domain=\"sip:ss1.carrier.com\", qop=\"auth,auth-int\", "
    "nonce=\"f84f1cec41e6cbe5aea9c8e88d359\", opaque=\"\", stale=FALSE, algorithm=MD5";

}  // namespace

TEST(SipDigestHash, MatchesRfc1321TestSuite) {
    EXPECT_EQ(kel_sip::md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(kel_sip::md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(kel_sip::md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
    EXPECT_EQ(kel_sip::md5Hex(std::string("a\0b", 3)), kel_sip::md5Hex(std::string("a\0b", 3)));
    EXPECT_NE(kel_sip::md5Hex(std::string("a\0b", 3)), kel_sip::md5Hex("a"));
}

// Expected digests come from data/digest-vectors.py (Python's hashlib).
TEST(SipDigestResponse, DigestEqualsIndependentComputation) {
    std::ifstream file(std::string(TESSALY_TEST_DATA_DIR) + "/digest-vectors.txt");
    std::string line;
    int count = 0;
    while (std::getline(file, line)) {
        const std::vector<std::string> f = splitTabs(line);
        ASSERT_EQ(f.size(), 13u) << line;
        const std::string body = fromHex(f[11]);
        SipDigestInput input;
        input.username = f[1];
        input.password = f[2];
        input.method = f[3];
        input.uri = f[4];
        input.realm = f[5];
        input.algorithm = f[6];
        input.qop = f[7];
        input.nonce = f[8];
        input.nonceCount = static_cast<std::uint32_t>(std::stoul(f[9], nullptr, 16));
        input.cnonce = f[10];
        input.body = body;
        EXPECT_EQ(SipDigestResponse::digest(input), f[12]) << f[0];
        ++count;
    }
    EXPECT_EQ(count, 17);
}

TEST(SipDigestChallenge, ReadsEveryField) {
    SipDigestChallenge challenge;
    parseText(challenge, rfc3261Challenge);
    EXPECT_EQ(challenge.realm, "atlanta.com");
    EXPECT_EQ(challenge.domain, "sip:ss1.carrier.com");
    EXPECT_EQ(challenge.nonce, "f84f1cec41e6cbe5aea9c8e88d359");
    EXPECT_EQ(challenge.opaque, "");
    EXPECT_FALSE(challenge.stale);
    EXPECT_EQ(challenge.algorithm, "MD5");
    EXPECT_EQ(challenge.qopOptions, (std::vector<std::string>{"auth", "auth-int"}));
    parseText(challenge, "digest NONCE=\"n\" , Realm = \"r, with comma\" ,qop=\" auth-int , auth,\",x=\"y\",stale=TRUE");
    EXPECT_EQ(challenge.nonce, "n");
    EXPECT_EQ(challenge.realm, "r, with comma");
    EXPECT_EQ(challenge.qopOptions, (std::vector<std::string>{"auth-int", "auth"}));
    EXPECT_TRUE(challenge.stale);
    parseText(challenge, "Digest realm=\"r\", stale=\"true\"");
    EXPECT_TRUE(challenge.stale);
    parseText(challenge, "Digest realm=\"r\", stale=false");
    EXPECT_FALSE(challenge.stale);
    parseText(challenge, "Digest");
    EXPECT_TRUE(challenge.empty());
}

TEST(SipDigestChallenge, RejectsMalformedChallenges) {
    EXPECT_EQ(parseError<SipDigestChallenge>(""), "(0) invalid digest challenge, no challenge name");
    EXPECT_EQ(parseError<SipDigestChallenge>("Basic realm=\"r\""), "(0) invalid digest challenge, unsupported challenge");
    EXPECT_EQ(parseError<SipDigestChallenge>("Dig realm=\"r\""), "(0) invalid digest challenge, unsupported challenge");
    EXPECT_EQ(parseError<SipDigestChallenge>("DigestX realm=\"r\""), "(0) invalid digest challenge, unsupported challenge");
    EXPECT_EQ(parseError<SipDigestChallenge>("Digest realm=\"r, nonce=\"n"), "");
    EXPECT_EQ(parseError<SipDigestChallenge>("Digest realm=\"r\", nonce=\"n"),
              "(0) invalid digest challenge, invalid value");
    EXPECT_EQ(parseError<SipDigestChallenge>("Digest realm="), "(0) invalid digest challenge, invalid param");
    EXPECT_EQ(parseError<SipDigestChallenge>("Digest realm=  "), "(0) invalid digest challenge, invalid param");
    EXPECT_EQ(parseError<SipDigestChallenge>("Digest realm=\"r\", stale"), "(0) invalid digest challenge, invalid param");
}

TEST(SipDigestChallenge, PrintsInFixedOrderAndOmitsEmptyFields) {
    SipDigestChallenge challenge;
    parseText(challenge, rfc3261Challenge);
    challenge.stale = true;
    EXPECT_EQ(challenge.toString(),
              "Digest realm=\"atlanta.com\", domain=\"sip:ss1.carrier.com\", nonce=\"f84f1cec41e6cbe5aea9c8e88d359\", "
              "stale=true, algorithm=MD5, qop=\"auth,auth-int\"");
    SipDigestChallenge reread;
    parseText(reread, challenge.toString());
    EXPECT_EQ(reread.toString(), challenge.toString());
    EXPECT_EQ(reread.qopOptions, challenge.qopOptions);
    challenge.realm.clear();
    EXPECT_EQ(challenge.toString(), "");
    SipDigestChallenge minimal;
    minimal.realm = "r";
    EXPECT_EQ(minimal.toString(), "Digest realm=\"r\"");
}

TEST(SipDigestResponse, ReadsAndPrintsCredentials) {
    const std::string text =
        "Digest username=\"bob\", realm=\"biloxi.com\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
        "uri=\"sip:bob@biloxi.com\", response=\"245f23415f11432b3434341c022\", algorithm=MD5, "
        "cnonce=\"0a4f113b\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\", qop=auth, nc=00000010";
    SipDigestResponse response;
    parseText(response, text);
    EXPECT_EQ(response.username, "bob");
    EXPECT_EQ(response.uri, "sip:bob@biloxi.com");
    EXPECT_EQ(response.cnonce, "0a4f113b");
    EXPECT_EQ(response.qop, "auth");
    EXPECT_EQ(response.nonceCount, 0x10u);
    EXPECT_EQ(response.toString(), text);
    parseText(response, "Digest username=\"u\", nc=\"FFFFFFFF\"");
    EXPECT_EQ(response.nonceCount, 0xffffffffu);
    response.nonceCount = 1;
    EXPECT_EQ(response.toString(), "Digest username=\"u\", nc=00000001");
    response.username.clear();
    EXPECT_EQ(response.toString(), "");
}

TEST(SipDigestResponse, RejectsMalformedCredentials) {
    EXPECT_EQ(parseError<SipDigestResponse>("Basic dXNlcjpwYXNz"), "(0) invalid digest response, unsupported response");
    EXPECT_EQ(parseError<SipDigestResponse>("Digest username=\"u"), "(0) invalid digest response, invalid value");
    for (const char* nc : {"nc=", "nc=123456789", "nc=12g", "nc=-1", "nc=\"\""}) {
        const std::string error = parseError<SipDigestResponse>(std::string("Digest username=\"u\", ") + nc);
        EXPECT_NE(error, "") << nc;
    }
    EXPECT_EQ(parseError<SipDigestResponse>("Digest username=\"u\", nc=1x"), "(0) invalid digest response, invalid nc");
}

TEST(SipDigestResponse, AuthorizePicksQopByPreference) {
    SipDigestChallenge challenge;
    parseText(challenge, rfc3261Challenge);
    const kel_sip::SipURI uri = uriOf("sip:bob@biloxi.com");
    SipDigestResponse response;
    response.authorize(challenge, "bob", "zanzibar", "INVITE", uri, 1, "", false);
    EXPECT_EQ(response.qop, "auth");
    response.authorize(challenge, "bob", "zanzibar", "INVITE", uri, 1, "", true);
    EXPECT_EQ(response.qop, "auth-int");
    challenge.qopOptions = {"AUTH-INT"};
    response.authorize(challenge, "bob", "zanzibar", "INVITE", uri, 1, "", false);
    EXPECT_EQ(response.qop, "auth-int");
    challenge.qopOptions = {"Auth", "auth-conf"};
    response.authorize(challenge, "bob", "zanzibar", "INVITE", uri, 1, "", true);
    EXPECT_EQ(response.qop, "auth");
}

TEST(SipDigestResponse, AuthorizeWithQopSignsWithFreshCnonce) {
    SipDigestChallenge challenge;
    parseText(challenge, "Digest realm=\"example.com\", nonce=\"abc\", opaque=\"op\", algorithm=MD5-sess, qop=\"auth-int\"");
    const kel_sip::SipURI uri = uriOf("sip:example.com;transport=tcp");
    const std::string body = "v=0\r\n";
    SipDigestResponse first;
    first.authorize(challenge, "alice", "secret", "REGISTER", uri, 0x10, body, false);
    EXPECT_EQ(first.username, "alice");
    EXPECT_EQ(first.realm, "example.com");
    EXPECT_EQ(first.nonce, "abc");
    EXPECT_EQ(first.opaque, "op");
    EXPECT_EQ(first.algorithm, "MD5-sess");
    EXPECT_EQ(first.uri, "sip:example.com;transport=tcp");
    EXPECT_EQ(first.nonceCount, 0x10u);
    EXPECT_EQ(first.cnonce.size(), 32u);
    EXPECT_TRUE(isLowerHex(first.cnonce)) << first.cnonce;
    SipDigestInput input;
    input.username = "alice";
    input.password = "secret";
    input.method = "REGISTER";
    input.uri = "sip:example.com;transport=tcp";
    input.realm = "example.com";
    input.algorithm = "MD5-sess";
    input.qop = "auth-int";
    input.nonce = "abc";
    input.nonceCount = 0x10;
    input.cnonce = first.cnonce;
    input.body = body;
    EXPECT_EQ(first.response, SipDigestResponse::digest(input));
    EXPECT_NE(first.toString().find(", qop=auth-int, nc=00000010"), std::string::npos) << first.toString();
    SipDigestResponse second;
    second.authorize(challenge, "alice", "secret", "REGISTER", uri, 0x10, body, false);
    EXPECT_NE(second.cnonce, first.cnonce);
}

TEST(SipDigestResponse, DigestUriIsTheRequestUriAsSent) {
    // With the start line escaped, the server compares the digest-uri with the escaped form.
    kel_sip::test::SwitchScope scope;
    scope.set(kel_sip::SipSwitch::EscapeRequestURI);
    SipDigestChallenge challenge;
    parseText(challenge, "Digest realm=\"example.com\", nonce=\"3d2f0d8c\"");
    SipDigestResponse response;
    response.authorize(challenge, "alice", "secret", "INVITE", uriOf("sip:bob smith@example.com"), 1, "", false);
    EXPECT_EQ(response.uri, "sip:bob%20smith@example.com");
    // The same credentials as for the URI received already escaped: the hash covers the escape.
    SipDigestResponse escaped;
    escaped.authorize(challenge, "alice", "secret", "INVITE", uriOf("sip:bob%20smith@example.com"), 1, "", false);
    EXPECT_EQ(response.response, escaped.response);
}

TEST(SipDigestResponse, AuthorizeWithoutQopUsesTheTwoPartDigest) {
    // The same inputs as the "invite-noqop" vector of data/digest-vectors.txt.
    SipDigestChallenge challenge;
    parseText(challenge, "Digest realm=\"example.com\", nonce=\"3d2f0d8c\"");
    SipDigestResponse response;
    response.authorize(challenge, "alice", "secret", "INVITE", uriOf("sip:bob@example.com"), 7,
                       "ignored", true);
    EXPECT_EQ(response.response, "292f6f41c0c15952576091dcec06b38c");
    EXPECT_EQ(response.nonceCount, 0u);
    EXPECT_EQ(response.toString(),
              "Digest username=\"alice\", realm=\"example.com\", nonce=\"3d2f0d8c\", uri=\"sip:bob@example.com\", "
              "response=\"292f6f41c0c15952576091dcec06b38c\"");
}
