#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "kel_util/MultipartMessage.h"
#include "presence/PIDFParser.h"
#include "presence/PIDFText.h"
#include "presence/PIMPIDFParser.h"
#include "presence/PIMPresenceInfo.h"
#include "presence/PresenceInfo.h"
#include "tests/presence/XmlLint.h"
#include "tests/support/TempDir.h"

namespace {

const std::string kDataDir = TESSALY_TEST_DATA_DIR;
const std::string kSchema = kDataDir + "/pidf.xsd";
// Text that would close the note and open elements of its own if it were not escaped.
const std::string kHostile = "a & b <c/> \"d\" 'e' </ts:substatus><basic>open</basic>";

std::string data(const std::string& name) { return tessaly_test::readFile(kDataDir + "/" + name); }

template <typename Parser>
bool parse(Parser& parser, const std::string& text) {
    return parser.parse(text.data(), static_cast<int>(text.size()));
}

PresenceInfo twoTuples() {
    PresenceInfo info;
    // Closed, so that a basic element smuggled in through the note would show.
    info.tuples.push_back({"t1", 0, kHostile, "sip:alice@example.com;transport=tcp&x", 0.8F});
    info.tuples.push_back({"t2", 0, "", "tel:+15551234", 1.0F});
    info.tuples.push_back({"t3", 0, "", "", 0});
    return info;
}

PIMPresenceInfo extended() {
    PIMPresenceInfo info;
    info.entity = "sip:alice@example.com";
    info.basic = 1;
    info.substatus = "on the phone & busy";
    info.contact = "sip:alice@192.0.2.1:5060";
    info.priority = 0.125F;
    info.aliasName = "<Al>";
    info.displayName = "Alice \"A\" Example";
    info.displayName2 = "alice's desk";
    info.displayMessage = kHostile;
    return info;
}

}  // namespace

void PrintTo(const PresenceTupleInfo& tuple, std::ostream* out) {
    *out << "{" << tuple.id << ", " << tuple.basic << ", \"" << tuple.note << "\", " << tuple.contact << ", "
         << tuple.priority << "}";
}

void PrintTo(const PIMPresenceInfo& info, std::ostream* out) {
    *out << "{" << info.entity << ", " << info.basic << ", \"" << info.substatus << "\", " << info.contact << ", "
         << info.priority << ", \"" << info.aliasName << "\", \"" << info.displayName << "\", \"" << info.displayName2
         << "\", \"" << info.displayMessage << "\"}";
}

TEST(PIDFParser, ReadsTheRfc3863ExamplesWithTheirTuplesInDocumentOrder) {
    PIDFParser parser("ts:");
    ASSERT_TRUE(parse(parser, data("rfc3863-example.xml")));
    EXPECT_EQ(parser.info().entity, "pres:someone@example.com");
    ASSERT_EQ(parser.info().tuples.size(), 2u);
    EXPECT_EQ(parser.info().tuples[0], (PresenceTupleInfo{"bs35r9", 1, "", "im:someone@mobilecarrier.net", 0.8F}));
    EXPECT_EQ(parser.info().tuples[1], (PresenceTupleInfo{"eg92n8", 1, "", "mailto:someone@example.com", 1.0F}));

    PIDFParser unprefixed("");
    ASSERT_TRUE(parse(unprefixed, data("rfc3863-example.xml")));
    ASSERT_EQ(unprefixed.info().tuples.size(), 2u);
    EXPECT_EQ(unprefixed.info().tuples[1].basic, 1);

    ASSERT_TRUE(parse(parser, data("rfc3863-prefixed.xml")));
    ASSERT_EQ(parser.info().tuples.size(), 1u);
    EXPECT_EQ(parser.info().tuples[0], (PresenceTupleInfo{"sg89ae", 1, "", "tel:+09012345678", 0.8F}));
}

TEST(PIDFParser, ReadsBasicNotePriorityAndEitherNamespace) {
    for (const char* ns : {"urn:ietf:params:xml:ns:pidf", "urn:ietf:params:xml:zv:pidf"}) {
        const std::string document = std::string("<presence xmlns=\"") + ns +
                                     "\" entity=\"pres:b@example.com\">"
                                     "<tuple id=\"a\"><status><basic> \tOPEN\r\n</basic><ts:status>old note</ts:status>"
                                     "</status><contact priority=\"2\">sip:b@example.com</contact></tuple>"
                                     "<tuple id=\"b\"><status><basic>opened</basic><TS:Substatus> new </TS:Substatus>"
                                     "</status><contact priority=\"0.1234\">x</contact></tuple></presence>";
        PIDFParser parser("ts:");
        ASSERT_TRUE(parse(parser, document)) << ns;
        ASSERT_EQ(parser.info().tuples.size(), 2u) << ns;
        EXPECT_EQ(parser.info().tuples[0], (PresenceTupleInfo{"a", 1, "old note", "sip:b@example.com", 0}))
            << "a priority above 1 is no qvalue";
        EXPECT_EQ(parser.info().tuples[1], (PresenceTupleInfo{"b", 0, "new", "x", 0}))
            << "four decimals are no qvalue";
    }
}

TEST(PresenceInfo, WritesTheRfc3863NamespaceAndReadsBackEqual) {
    const PresenceInfo info = twoTuples();
    const std::string document = info.write("alice", "example.com", "ts:");
    EXPECT_NE(document.find("<presence xmlns=\"urn:ietf:params:xml:ns:pidf\""), std::string::npos);
    EXPECT_EQ(document.substr(0, 40), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n");

    PIDFParser parser("ts:");
    ASSERT_TRUE(parse(parser, document)) << document;
    EXPECT_EQ(parser.info().entity, "pres:alice@example.com");
    EXPECT_EQ(parser.info().tuples, info.tuples) << document;
}

TEST(PIMPresenceInfo, WritesOneTupleThatReadsBackEqual) {
    const PIMPresenceInfo info = extended();
    for (const char* tupleId : {"kelpimstat", "other"}) {
        const std::string document = info.write(info.entity, "ts:", tupleId);
        PIMPIDFParser parser("ts:", tupleId);
        ASSERT_TRUE(parse(parser, document)) << document;
        EXPECT_EQ(parser.info(), info) << document;
    }
    EXPECT_NE(info.write(info.entity, "ts:").find("<tuple id=\"kelpimstat\">"), std::string::npos);
}

TEST(PresenceWriters, DocumentsAreWellFormedAndValidAgainstTheRfc3863Schema) {
    ASSERT_EQ(tessaly_test::xmllintComplaints(data("rfc3863-example.xml"), kSchema), "") << "the schema itself";
    const std::string plain = twoTuples().write("alice", "example.com", "ts:");
    const std::string pim = extended().write("sip:alice@example.com", "ts:");
    EXPECT_EQ(tessaly_test::xmllintComplaints(plain), "") << plain;
    EXPECT_EQ(tessaly_test::xmllintComplaints(plain, kSchema), "") << plain;
    EXPECT_EQ(tessaly_test::xmllintComplaints(pim), "") << pim;
    EXPECT_EQ(tessaly_test::xmllintComplaints(pim, kSchema), "") << pim;
    PIMPresenceInfo bare;
    bare.entity = "sip:bob@example.com";
    EXPECT_EQ(tessaly_test::xmllintComplaints(bare.write(bare.entity, "", "t1"), kSchema), "");

    // The schema has teeth: an extension element after the contact is refused.
    std::string late = pim;
    late.insert(late.find(" </tuple>"), "   <ts:late>x</ts:late>\r\n");
    EXPECT_NE(tessaly_test::xmllintComplaints(late, kSchema), "");
}

TEST(PIMPIDFParser, TakesTheWantedTupleOrTheFirstAndIgnoresTheOthers) {
    const std::string document =
        "<?xml version=\"1.0\"?><presence xmlns=\"urn:ietf:params:xml:ns:pidf\" entity=\"sip:c@example.com\">"
        "<tuple id=\"first\"><status><basic>closed</basic><ts:substatus>away</ts:substatus></status>"
        "<contact>sip:one@example.com</contact></tuple>"
        "<tuple id=\"kelpimstat\"><status><basic>Open</basic></status><ts:alias-name>Cee</ts:alias-name>"
        "<contact priority=\"0.5\">sip:two@example.com</contact><ts:display-message> hi </ts:display-message></tuple>"
        "<tuple id=\"kelpimstat\"><status><basic>closed</basic></status><contact>sip:three@example.com</contact>"
        "</tuple></presence>";
    PIMPIDFParser wanted("ts:", "kelpimstat");
    ASSERT_TRUE(parse(wanted, document));
    EXPECT_EQ(wanted.info().entity, "sip:c@example.com");
    EXPECT_EQ(wanted.info().basic, 1);
    EXPECT_EQ(wanted.info().substatus, "");
    EXPECT_EQ(wanted.info().contact, "sip:two@example.com");
    EXPECT_EQ(wanted.info().priority, 0.5F);
    EXPECT_EQ(wanted.info().aliasName, "Cee");
    EXPECT_EQ(wanted.info().displayMessage, "hi");

    PIMPIDFParser any("ts:", "");
    ASSERT_TRUE(parse(any, document));
    EXPECT_EQ(any.info().basic, 0);
    EXPECT_EQ(any.info().substatus, "away");
    EXPECT_EQ(any.info().contact, "sip:one@example.com");
    EXPECT_EQ(any.info().aliasName, "");

    PIMPIDFParser caseSensitive("ts:", "KELPIMSTAT");
    ASSERT_TRUE(parse(caseSensitive, document));
    EXPECT_EQ(caseSensitive.info().contact, "");
}

TEST(PIMPIDFParser, ReadsThePidfPartOfAMultipartRelatedNotify) {
    const std::string pidf = extended().write("sip:alice@example.com", "ts:");
    const std::string body =
        "Content-Type: multipart/related; type=\"application/rlmi+xml\"; boundary=\"b1\"\r\n\r\n"
        "--b1\r\nContent-Type: application/rlmi+xml\r\n\r\n<list uri=\"sip:l@example.com\" version=\"1\"/>\r\n"
        "--b1\r\nContent-Type: Application/PIDF+XML\r\n\r\n" +
        pidf + "\r\n--b1--\r\n";
    kel_util::MultipartMessage message;
    ASSERT_TRUE(message.parse(body.data(), static_cast<int>(body.size())));
    PIMPIDFParser parser("ts:", "");
    ASSERT_TRUE(parser.parseRelated(message));
    EXPECT_EQ(parser.info(), extended());

    kel_util::MultipartMessage mixed = message;
    mixed.contentType.subType = "mixed";
    EXPECT_FALSE(parser.parseRelated(mixed));
}
