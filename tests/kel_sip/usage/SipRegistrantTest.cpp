// Registration (RFC 3261 section 10.2) over the fake transaction layer: the lifetime a 2xx
// grants and the refresh instant it sets on the movable clock, the queued re-register, removal
// with the contact or the wildcard, failures, and the digest retry the caller makes.
#include <chrono>
#include <climits>
#include <string>

#include <gtest/gtest.h>

#include "FakeTransactionController.h"
#include "RecordingControllers.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/usage/SipRegistrantController.h"
#include "kel_util/Clock.h"

namespace kel_sip::test {
namespace {

using std::chrono::milliseconds;

const std::string kContact = "<sip:alice@192.0.2.1:5062>";

class SipRegistrantTest : public ::testing::Test {
protected:
    SipRegistrantStart start(int expires = 300) {
        SipRegistrantStart value;
        value.usage.requestUri.parse("sip:registrar.test", 18, true);
        value.usage.addressOfRecord.parse("<sip:alice@a.test>", 18, true);
        value.usage.peer = SipPeerAddress{"192.0.2.9", 5060};
        value.contact.parse(kContact.data(), static_cast<int>(kContact.size()), true);
        value.registration.expires = expires;
        return value;
    }
    std::shared_ptr<SipMessageExt> lastSent() { return fake.sent().back().message; }
    int lastTransaction() { return fake.sent().back().transactionId; }
    std::string header(const SipMessageExt& message, int kind) {
        const std::string* value = const_cast<SipMessageExt&>(message).getHeader(kind, HeaderListBase::Position::First);
        return value != nullptr ? *value : "";
    }
    // Answers the last REGISTER and waits for the events it causes to reach count, and for
    // the worker to be done with the registrant (a refresh timer it starts after the event).
    void answer(int code, const std::string& headers, std::size_t eventCount) {
        const int id = fake.sent().back().userId;
        ASSERT_TRUE(fake.injectResponse(lastTransaction(), *responseTo(*lastSent(), code, headers)));
        ASSERT_TRUE(registrar.log.waitFor(eventCount)) << code << " " << headers;
        settle(registrar, id);
    }
    static void settle(SipRegistrantController& controller, int id) {
        controller.inspect(id, [](const SipRegistrant&) {});
    }
    // Registered with a lifetime of 300 s: the events so far (sent, registered).
    int registered() {
        const int id = registrar.regist(start());
        answer(200, "Contact: " + kContact + ";expires=300\n", 2);
        return id;
    }

    kel_util::ManualClock clock;
    FakeTransactionController fake;
    RecordingRegistrar registrar{fake, "host.test", clock};
};

TEST_F(SipRegistrantTest, FirstRegisterCarriesTheBindingAndItsOwnCallIdAndCSeq) {
    registrar.setInitialLocalSeqNo(41);
    SipRegistrantStart values = start(300);
    values.registration.q = 0.5f;
    int state = -1;
    const int id = registrar.regist(values, &state);
    ASSERT_GT(id, 0);
    EXPECT_EQ(state, kRegistrantRegistering);
    ASSERT_EQ(fake.sent().size(), 1u);
    const SipMessageExt& request = *lastSent();
    EXPECT_EQ(request.methodKind, SipMethod::Register);
    EXPECT_EQ(request.cseq.getNumber(), 41);
    EXPECT_NE(request.callId.find("@host.test"), std::string::npos) << request.callId;
    EXPECT_FALSE(request.from.tag.empty());
    EXPECT_TRUE(request.to.tag.empty());
    EXPECT_EQ(header(request, SipHeader::Contact), kContact + ";expires=300;q=0.5");
    EXPECT_EQ(request.peer, (SipPeerAddress{"192.0.2.9", 5060}));
    EXPECT_EQ(fake.sent().back().userId, id);
    EXPECT_EQ(registrar.log.numbers(), (std::vector<int>{kRegistrantSentRegister}));
}

// The lifetime is the binding's expires, else Expires, else 3600 (RFC 3261 section 10.2.4);
// a value beyond 32 bits or unreadable is never taken as a wrapped or garbage number.
TEST_F(SipRegistrantTest, RefreshesAtHalfTheGrantedLifetime) {
    struct Case {
        const char* what;
        std::string headers;
        std::int64_t refreshMs;  // 0: the 2xx ends the registration
    } cases[] = {
        {"binding expires", "Contact: " + kContact + ";expires=60\nExpires: 900\n", 30000},
        {"Expires header", "Contact: " + kContact + "\nExpires: 120\n", 60000},
        {"neither", "Contact: " + kContact + "\n", 1800000},
        {"other bindings listed too", "Contact: <sip:bob@192.0.2.7>;expires=10, " + kContact + ";expires=40\n", 20000},
        {"largest delta-seconds clamped", "Contact: " + kContact + ";expires=4294967295\n", INT_MAX},
        {"unreadable Expires: the requested 300 s", "Contact: " + kContact + "\nExpires: 99999999999\n", 150000},
        {"our binding missing", "Contact: <sip:bob@192.0.2.7>;expires=60\n", 0},
        {"no Contact at all", "Expires: 60\n", 0},
        {"unparsable Contact list", "Contact: " + kContact + ";expires=soon\n", 0},
        {"binding granted 0 s", "Contact: " + kContact + ";expires=0\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingRegistrar fresh(fake, "host.test", clock);
        const std::size_t before = fake.sent().size();
        const int id = fresh.regist(start(300));
        ASSERT_GT(id, 0);
        ASSERT_TRUE(fake.injectResponse(lastTransaction(), *responseTo(*lastSent(), 200, c.headers)));
        ASSERT_TRUE(fresh.log.waitFor(2));
        const UsageEvent outcome = fresh.log.all()[1];
        settle(fresh, id);
        if (c.refreshMs == 0) {
            EXPECT_EQ(outcome.event, kRegistrantUnregisteredEvent);
            EXPECT_EQ(outcome.state, kRegistrantIdle);
            EXPECT_EQ(fresh.count(), 0);
            continue;
        }
        EXPECT_EQ(outcome.event, kRegistrantRegisteredEvent);
        ASSERT_TRUE(clock.advance(milliseconds(c.refreshMs - 1)));
        EXPECT_EQ(fake.sent().size(), before + 1);
        ASSERT_TRUE(clock.advance(milliseconds(1)));
        ASSERT_TRUE(fresh.log.waitFor(4));
        EXPECT_EQ(fresh.log.numbers(), (std::vector<int>{kRegistrantSentRegister, kRegistrantRegisteredEvent,
                                                          kRegistrantSentRegister, kRegistrantRefresh}));
        const SipMessageExt& refresh = *lastSent();
        EXPECT_EQ(refresh.cseq.getNumber(), 2);
        EXPECT_EQ(header(refresh, SipHeader::Contact), kContact + ";expires=300");
        fresh.clean();
    }
}

TEST_F(SipRegistrantTest, ReRegisterDuringAnOutstandingRegisterIsSentWhenItSucceeds) {
    const int id = registrar.regist(start());
    SipRegistration removal;
    removal.expires = 0;
    ASSERT_TRUE(registrar.reRegist(id, removal));
    EXPECT_EQ(fake.sent().size(), 1u);
    answer(200, "Contact: " + kContact + ";expires=300\n", 3);
    ASSERT_EQ(fake.sent().size(), 2u);
    EXPECT_EQ(header(*lastSent(), SipHeader::Contact), kContact + ";expires=0");
    EXPECT_EQ(lastSent()->cseq.getNumber(), 2);
    // The refresh timer of the first 2xx does not run: nothing more goes out at 150 s.
    ASSERT_TRUE(clock.advance(milliseconds(150000)));
    EXPECT_EQ(fake.sent().size(), 2u);
    answer(200, "", 4);
    EXPECT_EQ(registrar.log.numbers(), (std::vector<int>{kRegistrantSentRegister, kRegistrantRegisteredEvent,
                                                         kRegistrantSentUnregister, kRegistrantUnregisteredEvent}));
    EXPECT_EQ(registrar.count(), 0);
}

TEST_F(SipRegistrantTest, RemovalSendsTheContactOrTheWildcardWithExpiresZero) {
    for (const bool byWildcard : {false, true}) {
        SCOPED_TRACE(byWildcard ? "wildcard" : "contact");
        registrar.setUnregisterByWildCard(byWildcard);
        const std::size_t before = registrar.log.all().size();
        const int id = registrar.regist(start());
        answer(200, "Contact: " + kContact + ";expires=300\n", before + 2);
        SipRegistration removal;
        removal.expires = 0;
        ASSERT_TRUE(registrar.reRegist(id, removal));
        const SipMessageExt& request = *lastSent();
        EXPECT_EQ(header(request, SipHeader::Contact), byWildcard ? "*" : kContact + ";expires=0");
        EXPECT_EQ(header(request, SipHeader::Expires), byWildcard ? "0" : "");
        answer(200, "", before + 4);
        EXPECT_EQ(registrar.log.all().back().event, kRegistrantUnregisteredEvent);
    }
    EXPECT_EQ(registrar.count(), 0);
}

TEST_F(SipRegistrantTest, FailuresTimeOutsAndTransportErrorsEndOrKeepTheBinding) {
    enum Inject { Response, Timeout, TransportError };
    struct Case {
        const char* what;
        bool unregistering;
        Inject inject;
        int code;
        int event;
        int state;  // after it
    } cases[] = {
        {"403 to REGISTER", false, Response, 403, kRegistrantRegisterFailed, kRegistrantIdle},
        {"time-out of REGISTER", false, Timeout, 0, kRegistrantTransactionTimeout, kRegistrantIdle},
        {"transport error", false, TransportError, 0, kRegistrantTransportError, kRegistrantIdle},
        {"500 to the removal", true, Response, 500, kRegistrantUnregisterFailed, kRegistrantRegistered},
        {"time-out of the removal", true, Timeout, 0, kRegistrantTransactionTimeout, kRegistrantIdle},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingRegistrar fresh(fake, "host.test", clock);
        const int id = fresh.regist(start());
        std::size_t events = 1;
        if (c.unregistering) {
            ASSERT_TRUE(fake.injectResponse(lastTransaction(),
                                            *responseTo(*lastSent(), 200, "Contact: " + kContact + ";expires=300\n")));
            SipRegistration removal;
            removal.expires = 0;
            ASSERT_TRUE(fresh.log.waitFor(2));
            ASSERT_TRUE(fresh.reRegist(id, removal));
            events = 3;
        }
        const int transaction = lastTransaction();
        if (c.inject == Response) {
            ASSERT_TRUE(fake.injectResponse(transaction, *responseTo(*lastSent(), c.code, "")));
        } else if (c.inject == Timeout) {
            ASSERT_TRUE(fake.injectClientTimeout(transaction));
        } else {
            ASSERT_TRUE(fake.injectRequestTransportError(transaction));
        }
        ASSERT_TRUE(fresh.log.waitFor(events + 1));
        settle(fresh, id);
        EXPECT_EQ(fresh.log.all().back().event, c.event);
        EXPECT_EQ(fresh.log.all().back().state, c.state);
        EXPECT_EQ(fresh.count(), c.state == kRegistrantIdle ? 0 : 1);
        fresh.clean();
    }
}

TEST_F(SipRegistrantTest, ResponseToAnOlderCSeqIsIgnored) {
    const int id = registered();
    ASSERT_TRUE(clock.advance(milliseconds(150000)));
    ASSERT_TRUE(registrar.log.waitFor(4));
    // A late answer to the first REGISTER while the refresh (CSeq 2) is outstanding.
    auto stale = responseTo(*fake.sent().front().message, 403, "");
    ASSERT_TRUE(fake.injectResponse(lastTransaction(), *stale));
    answer(200, "Contact: " + kContact + ";expires=300\n", 5);
    EXPECT_EQ(registrar.log.all().back().event, kRegistrantRegisteredEvent);
    EXPECT_EQ(registrar.log.all().size(), 5u);
    EXPECT_EQ(registrar.count(), 1);
    EXPECT_TRUE(registrar.remove(id));
    EXPECT_EQ(registrar.count(), 0);
    EXPECT_FALSE(registrar.reRegist(id, SipRegistration{}));
}

TEST_F(SipRegistrantTest, RefreshThatCannotBeSentIsReportedWithItsCSeq) {
    registered();
    fake.refuseSends = true;
    ASSERT_TRUE(clock.advance(milliseconds(150000)));
    ASSERT_TRUE(registrar.log.waitFor(3));
    const UsageEvent failed = registrar.log.all().back();
    EXPECT_EQ(failed.event, kRegistrantRefreshSendFailed);
    EXPECT_EQ(failed.parameter, 2);
}

// The caller answers a 401 (RFC 3261 section 22.2): a new registrant with the credentials, the
// challenged Call-ID and CSeq; the nonce is not reused for the refresh.
TEST_F(SipRegistrantTest, DigestRetryKeepsTheCallIdAndTakesTheNextCSeq) {
    registrar.regist(start());
    answer(401, "WWW-Authenticate: Digest realm=\"a.test\", nonce=\"n1\", qop=\"auth\"\n", 2);
    const UsageEvent challenged = registrar.log.all()[1];
    EXPECT_EQ(challenged.event, kRegistrantRegisterFailed);
    EXPECT_EQ(challenged.statusCode, 401);
    EXPECT_EQ(registrar.count(), 0);

    AuthenticateData credentials("alice", "secret");
    ASSERT_TRUE(credentials.captureChallenge(*challenged.message));
    SipRegistrantStart retry = start();
    retry.usage.credentials = &credentials;
    retry.usage.callId = challenged.message->callId;
    retry.usage.initialSeqNo = challenged.message->cseq.getNumber();
    ASSERT_GT(registrar.regist(retry), 0);
    const SipMessageExt& authorized = *lastSent();
    EXPECT_EQ(authorized.callId, challenged.message->callId);
    EXPECT_EQ(authorized.cseq.getNumber(), challenged.message->cseq.getNumber() + 1);
    EXPECT_NE(header(authorized, SipHeader::Authorization).find("username=\"alice\""), std::string::npos);
    answer(200, "Contact: " + kContact + ";expires=300\n", 4);
    ASSERT_TRUE(clock.advance(milliseconds(150000)));
    ASSERT_TRUE(registrar.log.waitFor(6));
    EXPECT_EQ(header(*lastSent(), SipHeader::Authorization), "");
}

}  // namespace
}  // namespace kel_sip::test
