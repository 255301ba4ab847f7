// Our registrant against kamailio as a digest registrar, and our publisher against SIPp as a
// presence server, over UDP on 127.0.0.1. kamailio challenges every REGISTER and grants at most
// 4 s: the caller answers each 401 with the challenged Call-ID and the next CSeq, the binding is
// refreshed after about 2 s and removed with the wildcard, after which kamailio's location
// table is empty. SIPp grants 4 s to a publication and checks SIP-If-Match on the refresh, the
// queued modification and the removal; the instants are taken as the events happen.
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "ProgramSupport.h"
#include "RecordingControllers.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/transaction/SipTransactionControllerImpl.h"
#include "kel_sip/transport/SipUDPTransport.h"

namespace kel_sip::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using std::chrono::duration_cast;
using std::chrono::milliseconds;

// The transaction controller with one UDP transport on 127.0.0.1.
class LocalStack {
public:
    LocalStack() : transport_(controller, 0) {}
    ~LocalStack() { stop(); }

    bool start() {
        controller.setTimers(100, 400, 500, 500);
        return controller.init(2) && transport_.open("127.0.0.1", 0, "127.0.0.1", AF_INET, false) &&
               controller.addUDPTransport(&transport_);
    }
    void stop() {
        transport_.close();
        controller.clean();
    }
    int port() { return transport_.getLocalAddress().getPort(); }

    SipTransactionControllerImpl controller{nullptr};

private:
    SipUDPTransport transport_;
};

std::string header(const SipMessageExt& message, int kind) {
    const std::string* value = const_cast<SipMessageExt&>(message).getHeader(kind, HeaderListBase::Position::First);
    return value != nullptr ? *value : "";
}

// How long after from the event at came, in milliseconds.
long long since(const UsageEvent& from, const UsageEvent& at) {
    return duration_cast<milliseconds>(at.at - from.at).count();
}

#ifdef TESSALY_KAMAILIO
// The bindings kamailio holds, as its control tool prints them.
std::string locationTable(const fs::path& dir) {
    const fs::path out = dir / "ul.dump";
    tessaly_interop::ChildProcess dump({TESSALY_KAMCMD, "-s", "unix:" + (dir / "ctl").string(), "ul.dump"}, out);
    EXPECT_EQ(dump.waitExit(10s), 0);
    return tessaly_interop::readText(out);
}

TEST(RegistrationInterop, KamailioDigestRefreshAndWildcardRemoval) {
    const fs::path dir = tessaly_interop::freshDirectory("kamailio-registration");
    const int registrarPort = tessaly_interop::freeUdpPort();
    tessaly_interop::ChildProcess kamailio(
        {TESSALY_KAMAILIO, "-f", std::string(TESSALY_INTEROP_DIR) + "/kamailio_registrar_digest.cfg", "-DD", "-E", "-l",
         "udp:127.0.0.1:" + std::to_string(registrarPort), "-Y", dir.string(), "-w", dir.string(), "-A",
         "CTLSOCK=\"unix:" + (dir / "ctl").string() + "\""},
        dir / "kamailio.out", {}, true);
    ASSERT_TRUE(kamailio.started());

    LocalStack stack;
    RecordingRegistrar registrar(stack.controller, "127.0.0.1");
    ASSERT_TRUE(stack.start());
    registrar.setUnregisterByWildCard(true);

    SipRegistrantStart start;
    const std::string uri = "sip:127.0.0.1:" + std::to_string(registrarPort);
    start.usage.requestUri.parse(uri.data(), static_cast<int>(uri.size()), true);
    start.usage.addressOfRecord.parse("<sip:alice@127.0.0.1>", 21, true);
    const std::string contact = "<sip:alice@127.0.0.1:" + std::to_string(stack.port()) + ">";
    start.contact.parse(contact.data(), static_cast<int>(contact.size()), true);
    start.registration.expires = 3600;
    AuthenticateData password("alice", "tessaly-test");

    std::size_t cursor = 0;
    // What the user agent does with a 401: the same request again from a new registrant with
    // the credentials, the challenged Call-ID and the CSeq after the challenged one.
    auto answerChallenge = [&](const UsageEvent& challenged, const SipRegistration& registration) {
        EXPECT_EQ(challenged.statusCode, 401);
        AuthenticateData credentials = password;
        EXPECT_TRUE(credentials.captureChallenge(*challenged.message));
        SipRegistrantStart retry = start;
        retry.usage.credentials = &credentials;
        retry.usage.callId = challenged.message->callId;
        retry.usage.initialSeqNo = challenged.message->cseq.getNumber();
        retry.registration = registration;
        const int id = registrar.regist(retry);
        EXPECT_GT(id, 0);
        return id;
    };

    // kamailio may still be starting: the REGISTER is retransmitted until it answers.
    ASSERT_GT(registrar.regist(start), 0);
    const auto challenge = registrar.log.waitForEvent(kRegistrantRegisterFailed, cursor, 10s);
    ASSERT_TRUE(challenge) << tessaly_interop::readText(dir / "kamailio.out");
    answerChallenge(*challenge, start.registration);
    const auto retried = registrar.log.waitForEvent(kRegistrantSentRegister, cursor, 5s);
    ASSERT_TRUE(retried);
    EXPECT_EQ(retried->message->callId, challenge->message->callId);
    EXPECT_EQ(retried->message->cseq.getNumber(), challenge->message->cseq.getNumber() + 1);
    EXPECT_NE(header(*retried->message, SipHeader::Authorization), "");
    const auto accepted = registrar.log.waitForEvent(kRegistrantRegisteredEvent, cursor, 5s);
    ASSERT_TRUE(accepted) << tessaly_interop::readText(dir / "kamailio.out");
    EXPECT_NE(header(*accepted->message, SipHeader::Contact).find("expires=4"), std::string::npos);
    EXPECT_NE(locationTable(dir).find("alice@127.0.0.1"), std::string::npos);

    // Half the granted 4 s; the refresh carries no credentials, so kamailio challenges it.
    const auto refreshed = registrar.log.waitForEvent(kRegistrantRefresh, cursor, 5s);
    ASSERT_TRUE(refreshed);
    EXPECT_GE(since(*accepted, *refreshed), 1900);
    EXPECT_LE(since(*accepted, *refreshed), 2500);
    const auto refreshChallenge = registrar.log.waitForEvent(kRegistrantRegisterFailed, cursor, 5s);
    ASSERT_TRUE(refreshChallenge);
    const int registered = answerChallenge(*refreshChallenge, start.registration);
    ASSERT_TRUE(registrar.log.waitForEvent(kRegistrantRegisteredEvent, cursor, 5s));

    // Removal by wildcard, challenged too; the refused registrant is forgotten.
    SipRegistration removal;
    removal.expires = 0;
    ASSERT_TRUE(registrar.reRegist(registered, removal));
    const auto sentRemoval = registrar.log.waitForEvent(kRegistrantSentUnregister, cursor, 5s);
    ASSERT_TRUE(sentRemoval);
    EXPECT_EQ(header(*sentRemoval->message, SipHeader::Contact), "*");
    EXPECT_EQ(header(*sentRemoval->message, SipHeader::Expires), "0");
    const auto removalChallenge = registrar.log.waitForEvent(kRegistrantUnregisterFailed, cursor, 5s);
    ASSERT_TRUE(removalChallenge);
    EXPECT_TRUE(registrar.remove(registered));
    answerChallenge(*removalChallenge, removal);
    const auto removed = registrar.log.waitForEvent(kRegistrantUnregisteredEvent, cursor, 5s);
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->statusCode, 200);
    EXPECT_EQ(locationTable(dir).find("alice@127.0.0.1"), std::string::npos) << locationTable(dir);
    EXPECT_FALSE(registrar.inspect(removed->id, [](const SipRegistrant&) {}));
    EXPECT_EQ(registrar.count(), 0);

    stack.stop();
    // How fast kamailio stops is not what this test checks.
    kamailio.stop(30s);
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

#endif  // TESSALY_KAMAILIO

SipPublication document(const std::string& body, int expires) {
    SipPublication publication;
    publication.expires = expires;
    publication.body = body;
    publication.contentType = "application/pidf+xml";
    return publication;
}

TEST(PublicationInterop, SippRefreshQueuedModificationAndRemovalMatchTheEntityTag) {
    const fs::path dir = tessaly_interop::freshDirectory("sipp-publication");
    const int sippPort = tessaly_interop::freeUdpPort();
    tessaly_interop::ChildProcess sipp(
        {TESSALY_SIPP, "-sf", std::string(TESSALY_INTEROP_DIR) + "/sipp_publish_refresh_queue.xml", "-m", "1", "-i",
         "127.0.0.1", "-p", std::to_string(sippPort), "-nostdin", "-timeout", "30", "-timeout_error", "-trace_msg",
         "-message_file", (dir / "messages.log").string(), "-trace_err", "-error_file", (dir / "errors.log").string()},
        dir / "sipp.out");
    ASSERT_TRUE(sipp.started());

    LocalStack stack;
    RecordingPublisher publisher(stack.controller, "127.0.0.1");
    ASSERT_TRUE(stack.start());
    SipPublisherStart start;
    const std::string uri = "sip:alice@127.0.0.1:" + std::to_string(sippPort);
    start.usage.requestUri.parse(uri.data(), static_cast<int>(uri.size()), true);
    start.usage.addressOfRecord.parse("<sip:alice@127.0.0.1>", 21, true);
    start.eventPackage = "presence";
    start.publication = document("<open/>", 3600);

    std::size_t cursor = 0;
    const int id = publisher.publish(start);
    ASSERT_GT(id, 0);
    const auto published = publisher.log.waitForEvent(kPublisherPublishedEvent, cursor, 10s);
    ASSERT_TRUE(published) << tessaly_interop::readText(dir / "sipp.out");
    const auto refreshed = publisher.log.waitForEvent(kPublisherRefresh, cursor, 5s);
    ASSERT_TRUE(refreshed);
    EXPECT_GE(since(*published, *refreshed), 1900);
    EXPECT_LE(since(*published, *refreshed), 2500);

    // SIPp holds its answer to the refresh for a second: the modification waits for it.
    ASSERT_TRUE(publisher.rePublish(id, document("<closed/>", 3600)));
    bool queued = false;
    publisher.inspect(id, [&](const SipPublisher& p) { queued = p.hasQueuedPublication(); });
    EXPECT_TRUE(queued);
    const auto modified = publisher.log.waitForEvent(kPublisherSentPublish, cursor, 5s);
    ASSERT_TRUE(modified);
    EXPECT_EQ(std::string(modified->message->body.view()), "<closed/>");
    // Sent on the 2xx to the refresh, which came a second after the refresh.
    EXPECT_GE(since(*refreshed, *modified), 900);
    ASSERT_TRUE(publisher.log.waitForEvent(kPublisherPublishedEvent, cursor, 5s));
    ASSERT_TRUE(publisher.rePublish(id, SipPublication{0, {}, {}, nullptr}));
    const auto unpublished = publisher.log.waitForEvent(kPublisherUnpublishedEvent, cursor, 5s);
    ASSERT_TRUE(unpublished);
    // Once the worker is done with it, the publisher is gone.
    EXPECT_FALSE(publisher.inspect(id, [](const SipPublisher&) {}));
    EXPECT_EQ(publisher.count(), 0);

    const int status = sipp.waitExit(20s);
    stack.stop();
    EXPECT_EQ(status, 0) << tessaly_interop::readText(dir / "errors.log")
                         << tessaly_interop::readText(dir / "messages.log");
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

}  // namespace
}  // namespace kel_sip::test
