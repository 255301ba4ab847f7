// Publication (RFC 3903) over the fake transaction layer: the refresh at half the granted
// Expires on the movable clock, without a body and with SIP-If-Match; a modification queued
// behind an outstanding PUBLISH; removal with Expires 0; a 412 that ends the publication.
#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "FakeTransactionController.h"
#include "RecordingControllers.h"
#include "kel_sip/syntax/HeaderList.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/usage/SipPublisherController.h"
#include "kel_util/Clock.h"

namespace kel_sip::test {
namespace {

using std::chrono::milliseconds;

SipPublication document(const std::string& body, int expires = 60) {
    SipPublication publication;
    publication.expires = expires;
    publication.body = body;
    publication.contentType = "application/pidf+xml";
    return publication;
}

class SipPublisherTest : public ::testing::Test {
protected:
    int publish() {
        SipPublisherStart start;
        start.usage.requestUri.parse("sip:alice@a.test", 16, true);
        start.usage.addressOfRecord.parse("<sip:alice@a.test>", 18, true);
        start.usage.peer = SipPeerAddress{"192.0.2.9", 5060};
        start.eventPackage = "presence";
        start.publication = document("<open/>");
        return publisher.publish(start);
    }
    std::shared_ptr<SipMessageExt> lastSent() { return fake.sent().back().message; }
    static std::string header(const SipMessageExt& message, int kind) {
        const std::string* value = const_cast<SipMessageExt&>(message).getHeader(kind, HeaderListBase::Position::First);
        return value != nullptr ? *value : "";
    }
    // Answers the last PUBLISH, waits for count events and for the worker to be done with it.
    void answer(int code, const std::string& headers, std::size_t count) {
        const int id = fake.sent().back().userId;
        ASSERT_TRUE(fake.injectResponse(fake.sent().back().transactionId, *responseTo(*lastSent(), code, headers)));
        ASSERT_TRUE(publisher.log.waitFor(count)) << code << " " << headers;
        publisher.inspect(id, [](const SipPublisher&) {});
    }

    kel_util::ManualClock clock;
    FakeTransactionController fake;
    RecordingPublisher publisher{fake, "host.test", clock};
};

TEST_F(SipPublisherTest, RefreshAtHalfTheExpiresHasNoBodyAndMatchesTheLastEntityTag) {
    const int id = publish();
    ASSERT_GT(id, 0);
    const SipMessageExt& initial = *lastSent();
    EXPECT_EQ(initial.methodKind, SipMethod::Publish);
    EXPECT_EQ(header(initial, SipHeader::Event), "presence");
    EXPECT_EQ(header(initial, SipHeader::Expires), "60");
    EXPECT_EQ(header(initial, SipHeader::SipIfMatch), "");
    EXPECT_EQ(initial.contentType, "application/pidf+xml");
    answer(200, "SIP-ETag: e1\nExpires: 4\n", 2);

    ASSERT_TRUE(clock.advance(milliseconds(1999)));
    EXPECT_EQ(fake.sent().size(), 1u);
    ASSERT_TRUE(clock.advance(milliseconds(1)));
    ASSERT_TRUE(publisher.log.waitFor(4));
    const SipMessageExt& refresh = *lastSent();
    EXPECT_EQ(header(refresh, SipHeader::SipIfMatch), "e1");
    EXPECT_EQ(header(refresh, SipHeader::Expires), "60");
    EXPECT_EQ(refresh.body.getLength(), 0);
    EXPECT_EQ(refresh.cseq.getNumber(), initial.cseq.getNumber() + 1);
    EXPECT_EQ(refresh.callId, initial.callId);

    // The entity-tag of each 2xx replaces the last (RFC 3903 section 4.1).
    answer(200, "SIP-ETag: e2\nExpires: 4\n", 5);
    ASSERT_TRUE(clock.advance(milliseconds(2000)));
    ASSERT_TRUE(publisher.log.waitFor(7));
    EXPECT_EQ(header(*lastSent(), SipHeader::SipIfMatch), "e2");
    EXPECT_EQ(publisher.log.numbers(),
              (std::vector<int>{kPublisherSentPublish, kPublisherPublishedEvent, kPublisherSentPublish,
                                kPublisherRefresh, kPublisherPublishedEvent, kPublisherSentPublish,
                                kPublisherRefresh}));
}

TEST_F(SipPublisherTest, ModificationDuringAnOutstandingPublishIsSentAfterIt) {
    const int id = publish();
    HeaderList own;
    own.addHeader("X-Note", "second");
    SipPublication modified = document("<closed/>");
    modified.headers = &own;
    ASSERT_TRUE(publisher.rePublish(id, modified));
    EXPECT_EQ(fake.sent().size(), 1u);
    answer(200, "SIP-ETag: e1\nExpires: 60\n", 3);
    ASSERT_EQ(fake.sent().size(), 2u);
    const SipMessageExt& sent = *lastSent();
    EXPECT_EQ(std::string(sent.body.view()), "<closed/>");
    EXPECT_EQ(header(sent, SipHeader::SipIfMatch), "e1");
    EXPECT_EQ(*const_cast<SipMessageExt&>(sent).getHeader("X-Note", HeaderListBase::Position::First), "second");
    // The first 2xx's refresh timer does not run beside the modification.
    ASSERT_TRUE(clock.advance(milliseconds(30000)));
    EXPECT_EQ(fake.sent().size(), 2u);
}

TEST_F(SipPublisherTest, CallerEntityTagIsNotDoubled) {
    const int id = publish();
    answer(200, "SIP-ETag: e1\nExpires: 60\n", 2);
    HeaderList own;
    own.addHeader(SipHeader::SipIfMatch, "mine");
    SipPublication modified = document("<closed/>");
    modified.headers = &own;
    ASSERT_TRUE(publisher.rePublish(id, modified));
    std::vector<std::string> matches;
    const std::string* value = lastSent()->getHeader(SipHeader::SipIfMatch, HeaderListBase::Position::First);
    for (; value != nullptr; value = lastSent()->getHeader(SipHeader::SipIfMatch, HeaderListBase::Position::Next)) {
        matches.push_back(*value);
    }
    EXPECT_EQ(matches, (std::vector<std::string>{"mine"}));
}

TEST_F(SipPublisherTest, OutcomesOfTheFinalResponse) {
    struct Case {
        const char* what;
        bool refreshFirst;  // answer the refresh rather than the initial PUBLISH
        int code;
        std::string headers;
        int event;
        int state;
    } cases[] = {
        {"412 to a refresh ends it", true, 412, "", kPublisherPublishFailed, kPublisherIdle},
        {"489 to the initial PUBLISH", false, 489, "", kPublisherPublishFailed, kPublisherIdle},
        {"2xx without Expires", false, 200, "SIP-ETag: e1\n", kPublisherUnpublishedEvent, kPublisherIdle},
        {"2xx with Expires 0", false, 200, "Expires: 0\n", kPublisherUnpublishedEvent, kPublisherIdle},
        {"unreadable Expires keeps the requested 60 s", false, 200, "Expires: never\n", kPublisherPublishedEvent,
         kPublisherPublished},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingPublisher fresh(fake, "host.test", clock);
        SipPublisherStart start;
        start.usage.requestUri.parse("sip:alice@a.test", 16, true);
        start.usage.addressOfRecord.parse("<sip:alice@a.test>", 18, true);
        start.publication = document("<open/>");
        const int id = fresh.publish(start);
        ASSERT_GT(id, 0);
        std::size_t events = 1;
        if (c.refreshFirst) {
            ASSERT_TRUE(fake.injectResponse(fake.sent().back().transactionId,
                                            *responseTo(*lastSent(), 200, "SIP-ETag: e1\nExpires: 4\n")));
            ASSERT_TRUE(fresh.log.waitFor(2));
            fresh.inspect(id, [](const SipPublisher&) {});
            ASSERT_TRUE(clock.advance(milliseconds(2000)));
            ASSERT_TRUE(fresh.log.waitFor(4));
            events = 4;
        }
        ASSERT_TRUE(fake.injectResponse(fake.sent().back().transactionId, *responseTo(*lastSent(), c.code, c.headers)));
        ASSERT_TRUE(fresh.log.waitFor(events + 1));
        fresh.inspect(id, [](const SipPublisher&) {});
        EXPECT_EQ(fresh.log.all().back().event, c.event);
        EXPECT_EQ(fresh.log.all().back().state, c.state);
        EXPECT_EQ(fresh.count(), c.state == kPublisherIdle ? 0 : 1);
        if (c.state == kPublisherPublished) {
            const std::size_t sent = fake.sent().size();
            ASSERT_TRUE(clock.advance(milliseconds(30000)));
            ASSERT_TRUE(fresh.log.waitFor(events + 3));
            EXPECT_EQ(fake.sent().size(), sent + 1);
        }
        fresh.clean();
    }
}

TEST_F(SipPublisherTest, RemovalSendsExpiresZeroWithTheEntityTagAndEndsOnItsAnswer) {
    const int id = publish();
    answer(200, "SIP-ETag: e1\nExpires: 60\n", 2);
    ASSERT_TRUE(publisher.rePublish(id, SipPublication{0, {}, {}, nullptr}));
    const SipMessageExt& removal = *lastSent();
    EXPECT_EQ(header(removal, SipHeader::Expires), "0");
    EXPECT_EQ(header(removal, SipHeader::SipIfMatch), "e1");
    EXPECT_EQ(removal.body.getLength(), 0);
    answer(500, "", 4);
    EXPECT_EQ(publisher.log.all().back().event, kPublisherUnpublishFailed);
    EXPECT_EQ(publisher.log.all().back().state, kPublisherPublished);
    ASSERT_TRUE(publisher.rePublish(id, SipPublication{0, {}, {}, nullptr}));
    answer(200, "Expires: 0\n", 6);
    EXPECT_EQ(publisher.log.all().back().event, kPublisherUnpublishedEvent);
    EXPECT_EQ(publisher.count(), 0);
    EXPECT_FALSE(publisher.rePublish(id, document("<open/>")));
}

TEST_F(SipPublisherTest, TimeOutAndTransportErrorEndThePublication) {
    for (const bool timeout : {true, false}) {
        RecordingPublisher fresh(fake, "host.test", clock);
        SipPublisherStart start;
        start.usage.requestUri.parse("sip:alice@a.test", 16, true);
        start.usage.addressOfRecord.parse("<sip:alice@a.test>", 18, true);
        const int id = fresh.publish(start);
        const int transaction = fake.sent().back().transactionId;
        ASSERT_TRUE(timeout ? fake.injectClientTimeout(transaction) : fake.injectRequestTransportError(transaction));
        ASSERT_TRUE(fresh.log.waitFor(2));
        fresh.inspect(id, [](const SipPublisher&) {});
        EXPECT_EQ(fresh.log.all().back().event, timeout ? kPublisherTransactionTimeout : kPublisherTransportError);
        EXPECT_EQ(fresh.count(), 0);
        fresh.clean();
    }
}

}  // namespace
}  // namespace kel_sip::test
