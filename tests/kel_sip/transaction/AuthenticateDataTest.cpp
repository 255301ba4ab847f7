#include "kel_sip/transaction/AuthenticateData.h"

#include <cstdio>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "TransactionTestKit.h"
#include "kel_sip/syntax/SipDigestResponse.h"
#include "kel_sip/syntax/SipHeader.h"

namespace kel_sip::test {
namespace {

std::string hex(std::string_view bytes) {
    std::string text;
    char digits[3];
    for (const unsigned char c : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", c);
        text += digits;
    }
    return text;
}

// The digest Python's hashlib computes for the credentials' own fields (data/digest-response.py).
std::string pythonDigest(const SipDigestResponse& credentials, std::string_view password, std::string_view method,
                         std::string_view body) {
    std::string command = "python3 '" TESSALY_TEST_DATA_DIR "/digest-response.py'";
    for (const std::string_view field : {std::string_view(credentials.username), password, method,
                                         std::string_view(credentials.uri), std::string_view(credentials.realm),
                                         std::string_view(credentials.algorithm), std::string_view(credentials.qop),
                                         std::string_view(credentials.nonce), std::string_view(credentials.cnonce),
                                         body}) {
        command += " '" + hex(field) + "'";
    }
    command += " " + std::to_string(credentials.nonceCount);
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return "popen failed";
    char line[160] = {};
    if (std::fgets(line, sizeof line, pipe.get()) == nullptr) return "no output";
    std::string digest(line);
    while (!digest.empty() && (digest.back() == '\n' || digest.back() == '\r')) digest.pop_back();
    return digest;
}

// The credentials of kind in request; fails the test when there is not exactly one.
SipDigestResponse credentialsOf(const SipMessageExt& request, int kind) {
    SipDigestResponse credentials;
    const kel_util::RFC822ValueList* values = request.typedHeaders.find(kind);
    EXPECT_TRUE(values != nullptr && values->size() == 1);
    if (values == nullptr || values->empty()) return credentials;
    const std::string& raw = values->getValues().front();
    credentials.parse(raw.data(), static_cast<int>(raw.size()), true);
    return credentials;
}

std::unique_ptr<SipMessageExt> challenge(const SipMessageExt& request, int code, const std::string& value) {
    auto response = makeResponse(request, code);
    response->addHeader(code == 401 ? SipHeader::WwwAuthenticate : SipHeader::ProxyAuthenticate, value);
    return response;
}

std::string digestChallenge(const std::string& realm, const std::string& nonce, const std::string& qop = "auth") {
    return "Digest realm=\"" + realm + "\", nonce=\"" + nonce + "\", algorithm=MD5, qop=\"" + qop + "\"";
}

class AuthenticateDataTest : public ::testing::Test {
protected:
    // A fresh REGISTER with the credentials of data added.
    std::unique_ptr<SipMessageExt> signedRequest(const std::string& method = "REGISTER") {
        auto request = makeRequest(method);
        data.addCredentials(*request);
        return request;
    }
    // Checks one header's nonce, nc and digest against Python's.
    void expectCredentials(const SipMessageExt& request, int kind, const std::string& nonce, std::uint32_t nc) {
        const SipDigestResponse credentials = credentialsOf(request, kind);
        EXPECT_EQ(credentials.username, "alice");
        EXPECT_EQ(credentials.nonce, nonce);
        EXPECT_EQ(credentials.nonceCount, nc);
        EXPECT_EQ(credentials.qop, "auth");
        EXPECT_EQ(credentials.uri, "sip:bob@example.com");
        EXPECT_EQ(credentials.cnonce.size(), 32u);
        EXPECT_EQ(credentials.response, pythonDigest(credentials, "secret", request.getMethodName(), request.body.view()));
    }

    AuthenticateData data{"alice", "secret"};
    std::unique_ptr<SipMessageExt> original = makeRequest("REGISTER");
};

TEST_F(AuthenticateDataTest, NonceCountsRiseForOneNonceAndRestartForANewOne) {
    ASSERT_TRUE(data.captureChallenge(*challenge(*original, 401, digestChallenge("example.com", "n1"))));
    auto first = signedRequest();
    expectCredentials(*first, SipHeader::Authorization, "n1", 1);
    EXPECT_FALSE(first->hasHeader(SipHeader::ProxyAuthorization));

    ASSERT_TRUE(data.captureChallenge(*challenge(*original, 407, digestChallenge("proxy.example.com", "p1"))));
    auto second = signedRequest();
    expectCredentials(*second, SipHeader::Authorization, "n1", 2);
    expectCredentials(*second, SipHeader::ProxyAuthorization, "p1", 1);
    EXPECT_EQ(credentialsOf(*second, SipHeader::ProxyAuthorization).realm, "proxy.example.com");

    ASSERT_TRUE(data.captureChallenge(*challenge(*original, 401, digestChallenge("example.com", "n2"))));
    auto third = signedRequest("INVITE");
    expectCredentials(*third, SipHeader::Authorization, "n2", 1);
    expectCredentials(*third, SipHeader::ProxyAuthorization, "p1", 2);
    EXPECT_EQ(data.www.retryCount, 2);
    EXPECT_EQ(data.proxy.retryCount, 1);
}

TEST_F(AuthenticateDataTest, ChallengeAgainWithTheSameNonceDoesNotRepeatANonceCount) {
    ASSERT_TRUE(data.captureChallenge(*challenge(*original, 401, digestChallenge("example.com", "n1"))));
    expectCredentials(*signedRequest(), SipHeader::Authorization, "n1", 1);
    ASSERT_TRUE(data.captureChallenge(*challenge(*original, 401, digestChallenge("example.com", "n1"))));
    expectCredentials(*signedRequest(), SipHeader::Authorization, "n1", 2);
}

TEST_F(AuthenticateDataTest, AuthIntCoversTheBodyWhenPreferred) {
    data.useAuthInt = true;
    ASSERT_TRUE(data.captureChallenge(*challenge(*original, 401, digestChallenge("example.com", "n1", "auth,auth-int"))));
    auto request = makeRequest("INVITE");
    const std::string body = "v=0\r\no=- 1 1 IN IP4 192.0.2.1\r\ns=-\r\n";
    request->setBody(body.data(), static_cast<int>(body.size()));
    request->contentType = "application/sdp";
    data.addCredentials(*request);
    const SipDigestResponse credentials = credentialsOf(*request, SipHeader::Authorization);
    EXPECT_EQ(credentials.qop, "auth-int");
    EXPECT_EQ(credentials.response, pythonDigest(credentials, "secret", "INVITE", body));
    // The same credentials over another body are a different digest: the body is covered.
    EXPECT_NE(credentials.response, pythonDigest(credentials, "secret", "INVITE", "v=1\r\n"));
}

TEST_F(AuthenticateDataTest, WithoutQopTheDigestHasNoNonceCount) {
    ASSERT_TRUE(data.captureChallenge(*challenge(*original, 401, "Digest realm=\"example.com\", nonce=\"old\"")));
    const SipDigestResponse credentials = credentialsOf(*signedRequest(), SipHeader::Authorization);
    EXPECT_EQ(credentials.nonceCount, 0u);
    EXPECT_TRUE(credentials.cnonce.empty());
    EXPECT_EQ(credentials.response, pythonDigest(credentials, "secret", "REGISTER", ""));
}

TEST_F(AuthenticateDataTest, EmptyUserNameAndPasswordAddNothing) {
    ASSERT_TRUE(data.captureChallenge(*challenge(*original, 401, digestChallenge("example.com", "n1"))));
    ASSERT_TRUE(data.captureChallenge(*challenge(*original, 407, digestChallenge("example.com", "p1"))));
    data.username.clear();
    data.password.clear();
    EXPECT_FALSE(data.isUsable());
    auto request = signedRequest();
    EXPECT_FALSE(request->hasHeader(SipHeader::Authorization));
    EXPECT_FALSE(request->hasHeader(SipHeader::ProxyAuthorization));
    EXPECT_EQ(data.www.nonceCount, 0u);

    data.password = "secret";  // a password alone is enough
    EXPECT_TRUE(signedRequest()->hasHeader(SipHeader::Authorization));
}

TEST_F(AuthenticateDataTest, AnswersTheFirstChallengeOfAnAlgorithmItComputes) {
    // A server lists one challenge per algorithm, its preferred first (RFC 8760 section 2.4).
    auto response = challenge(*original, 401, "Basic realm=\"example.com\"");
    response->addHeader(SipHeader::WwwAuthenticate,
                        "Digest realm=\"example.com\", nonce=\"a1\", algorithm=AKAv1-MD5, qop=\"auth\"");
    response->addHeader(SipHeader::WwwAuthenticate,
                        "Digest realm=\"example.com\", nonce=\"s1\", algorithm=SHA-256, qop=\"auth\"");
    response->addHeader(SipHeader::WwwAuthenticate, digestChallenge("example.com", "m1"));
    ASSERT_TRUE(data.captureChallenge(*response));
    auto request = signedRequest();
    expectCredentials(*request, SipHeader::Authorization, "s1", 1);
    EXPECT_EQ(credentialsOf(*request, SipHeader::Authorization).algorithm, "SHA-256");
}

TEST_F(AuthenticateDataTest, BrokenOrMissingChallengeClearsTheOneHeld) {
    ASSERT_TRUE(data.captureChallenge(*challenge(*original, 401, digestChallenge("example.com", "n1"))));
    EXPECT_FALSE(data.captureChallenge(*challenge(*original, 401, "Digest realm=\"example.com")));
    EXPECT_FALSE(data.www.challenge.has_value());
    EXPECT_FALSE(signedRequest()->hasHeader(SipHeader::Authorization));

    ASSERT_TRUE(data.captureChallenge(*challenge(*original, 407, digestChallenge("example.com", "p1"))));
    EXPECT_FALSE(data.captureChallenge(*makeResponse(*original, 407)));
    EXPECT_FALSE(data.captureChallenge(*challenge(*original, 407, "Basic realm=\"example.com\"")));
    EXPECT_FALSE(data.proxy.challenge.has_value());
    EXPECT_EQ(data.proxy.retryCount, 3);
    EXPECT_FALSE(data.captureChallenge(*makeResponse(*original, 403)));
    EXPECT_FALSE(signedRequest()->hasHeader(SipHeader::ProxyAuthorization));
}

}  // namespace
}  // namespace kel_sip::test
