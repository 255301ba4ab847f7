// The RFC 4475 torture messages (data/rfc4475, written byte for byte by make-rfc4475.py):
// what the stack does with each one, and the key fields of those it accepts.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "SipCorpus.h"
#include "kel_sip/syntax/HeaderListBase.h"
#include "kel_sip/syntax/SipContactList.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMessage.h"
#include "kel_sip/syntax/SipMethod.h"

using namespace kel_sip;
using kel_sip::test::SwitchScope;
using Position = kel_util::RFC822ValueList::Position;

namespace {

std::string readTorture(const std::string& name) {
    std::ifstream in(TESSALY_TEST_DATA_DIR "/rfc4475/" + name + ".dat", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What a transport does with the datagram: hands it on, answers the request with a status,
// or drops the response.
enum class Fate { Accepted, Answered, Dropped };

struct Verdict {
    Fate fate = Fate::Dropped;
    int status = 0;
    std::string reason;
};

// The receive path of a transport: a request that does not parse is answered 400, one that
// does not validate with the status validate chose; a bad response is dropped.
Verdict judge(const std::string& bytes) {
    const bool request = bytes.compare(0, 4, "SIP/") != 0;
    Verdict verdict;
    SipMessage message;
    if (!message.parse(bytes.data(), static_cast<int>(bytes.size()), verdict.reason)) {
        verdict.fate = request ? Fate::Answered : Fate::Dropped;
        verdict.status = request ? 400 : 0;
        return verdict;
    }
    int status = 0;
    if (!message.validate(verdict.reason, status)) {
        verdict.fate = request ? Fate::Answered : Fate::Dropped;
        verdict.status = request ? status : 0;
        return verdict;
    }
    verdict.fate = Fate::Accepted;
    return verdict;
}

SipMessage parsed(const std::string& name) {
    const std::string bytes = readTorture(name);
    SipMessage message;
    std::string reason;
    EXPECT_TRUE(message.parse(bytes.data(), static_cast<int>(bytes.size()), reason)) << name << ": " << reason;
    return message;
}

struct TortureCase {
    const char* name;
    Fate fate;
    int status;           // for Answered
    const char* reason;   // the start of the reason, for Answered and Dropped
    const char* note;     // where the stack parts from the RFC's judgement, why
};

// Every message of RFC 4475 sections 3.1 to 3.4. Where the RFC calls a message invalid but
// leaves the element free to be liberal, the stack's choice is noted.
const TortureCase kCases[] = {
    // 3.1.1 valid messages
    {"wsinv", Fate::Accepted, 0, "", ""},
    {"intmeth", Fate::Accepted, 0, "", ""},
    {"esc01", Fate::Accepted, 0, "", ""},
    {"escnull", Fate::Accepted, 0, "", ""},
    {"esc02", Fate::Accepted, 0, "", ""},
    {"lwsdisp", Fate::Accepted, 0, "", ""},
    {"longreq", Fate::Accepted, 0, "", ""},
    {"dblreq", Fate::Accepted, 0, "", ""},
    {"semiuri", Fate::Accepted, 0, "", ""},
    {"transports", Fate::Accepted, 0, "", ""},
    {"mpart01", Fate::Accepted, 0, "", ""},
    {"unreason", Fate::Accepted, 0, "", ""},
    {"noreason", Fate::Dropped, 0, "invalid first line, (no reason phrase",
     "strict: a response must carry a reason phrase here (validate demands one too); the RFC "
     "grammar allows an empty one"},
    // 3.1.2 invalid messages
    {"badinv01", Fate::Answered, 400, "invalid Via", ""},
    {"clerr", Fate::Answered, 400, "content data length too short", ""},
    {"ncl", Fate::Answered, 400, "invalid Content-Length", ""},
    {"scalar02", Fate::Answered, 400, "invalid CSeq", ""},
    {"scalarlg", Fate::Dropped, 0, "invalid CSeq", ""},
    {"quotbal", Fate::Answered, 400, "invalid To", ""},
    {"ltgtruri", Fate::Answered, 400, "invalid first line, (invalid uri", ""},
    {"lwsruri", Fate::Answered, 400, "invalid first line, (text after version", ""},
    {"lwsstart", Fate::Answered, 400, "invalid first line, (no request URI", ""},
    {"trws", Fate::Accepted, 0, "", "lenient: spaces after the version are ignored, as the RFC allows"},
    {"escruri", Fate::Accepted, 0, "",
     "lenient, as the RFC allows: the escaped headers stay in the Request-URI and never become headers"},
    {"baddate", Fate::Accepted, 0, "", "lenient: Date stays raw text until somebody reads it"},
    {"regbadct", Fate::Accepted, 0, "", "lenient: the Contact stays raw text until it is read"},
    {"badaspec", Fate::Accepted, 0, "", "lenient: the spaces inside <> are ignored"},
    {"baddn", Fate::Accepted, 0, "", "lenient: the unquoted display name with a comma is kept as written"},
    {"badvers", Fate::Answered, 505, "invalid SIP Version", ""},
    {"mismatch01", Fate::Answered, 400, "Method not matching in CSeq", ""},
    {"mismatch02", Fate::Answered, 400, "Method not matching in CSeq", "400, which the RFC accepts besides 501"},
    {"bigcode", Fate::Dropped, 0, "invalid first line, (invalid status code", ""},
    // 3.2 transaction layer
    {"badbranch", Fate::Accepted, 0, "", ""},
    // 3.3 application layer
    {"insuf", Fate::Answered, 400, "CallID empty", ""},
    {"unkscm", Fate::Answered, 416, "invalid RequestURI", ""},
    {"novelsc", Fate::Answered, 416, "invalid RequestURI", ""},
    {"unksm2", Fate::Answered, 400, "invalid From", ""},
    {"bext01", Fate::Accepted, 0, "", ""},
    {"invut", Fate::Accepted, 0, "", ""},
    {"regaut01", Fate::Accepted, 0, "", ""},
    {"multi01", Fate::Answered, 400, "more than one", ""},
    {"mcl01", Fate::Answered, 400, "invalid Content-Length", ""},
    {"bcast", Fate::Accepted, 0, "", ""},
    {"zeromf", Fate::Accepted, 0, "", ""},
    {"cparam01", Fate::Accepted, 0, "", ""},
    {"cparam02", Fate::Accepted, 0, "", ""},
    {"regescrt", Fate::Accepted, 0, "", ""},
    {"sdp01", Fate::Accepted, 0, "", ""},
    // 3.4 backward compatibility
    {"inv2543", Fate::Accepted, 0, "", ""},
};

const char* fateName(Fate fate) {
    switch (fate) {
        case Fate::Accepted: return "accepted";
        case Fate::Answered: return "answered";
        case Fate::Dropped: return "dropped";
    }
    return "?";
}

}  // namespace

TEST(SipTorture, EveryMessageMeetsItsExpectedFate) {
    ASSERT_EQ(std::size(kCases), 49u);
    for (const TortureCase& expected : kCases) {
        const std::string bytes = readTorture(expected.name);
        ASSERT_FALSE(bytes.empty()) << expected.name;
        const Verdict verdict = judge(bytes);
        EXPECT_EQ(fateName(verdict.fate), std::string(fateName(expected.fate))) << expected.name << ": " << verdict.reason;
        EXPECT_EQ(verdict.status, expected.status) << expected.name << ": " << verdict.reason;
        EXPECT_EQ(verdict.reason.rfind(expected.reason, 0), 0u) << expected.name << ": " << verdict.reason;
    }
}

TEST(SipTorture, AcceptedMessagesPrintToTextThatParsesToTheSameMessage) {
    for (const TortureCase& expected : kCases) {
        if (expected.fate != Fate::Accepted) continue;
        SwitchScope off;
        SipMessage message = parsed(expected.name);
        const std::string printed = message.toString();
        SipMessage again;
        std::string reason;
        ASSERT_TRUE(again.parse(printed.data(), static_cast<int>(printed.size()), reason)) << expected.name << ": " << reason;
        EXPECT_EQ(again.toString(), printed) << expected.name;
    }
}

TEST(SipTorture, TortuousInviteKeepsFoldedValuesParametersAndLeadingZeros) {
    SipMessage message = parsed("wsinv");
    EXPECT_EQ(message.methodKind, 0);
    EXPECT_EQ(message.requestUri.userInfo.user, "vivekg");
    EXPECT_EQ(message.requestUri.hostPort.host, "chair-dnrc.example.com");
    EXPECT_EQ(message.to.tag, "1918181833n");
    EXPECT_EQ(message.from.tag, "98asjd8");
    EXPECT_EQ(message.from.address.uri.userInfo.user, "jdrosen");
    EXPECT_EQ(message.maxForwards, 68);
    EXPECT_EQ(message.cseq.getNumber(), 9);
    EXPECT_EQ(message.cseq.getMethodKind(), 0);
    EXPECT_EQ(message.callId, "wsinv.ndaksdj@192.0.2.1");
    ASSERT_EQ(message.vias.size(), 3u);
    EXPECT_EQ(message.vias[0].getSentBy().host, "192.0.2.2");
    EXPECT_EQ(message.vias[0].getBranch(), "390skdjuw");
    EXPECT_EQ(message.vias[1].getTransport(), "TCP");
    EXPECT_EQ(message.vias[1].getSentBy().host, "spindle.example.com");
    EXPECT_EQ(message.vias[1].getBranch(), "z9hG4bK9ikj8");
    EXPECT_EQ(message.vias[2].getSentBy().host, "192.168.255.111");
    EXPECT_EQ(message.vias[2].getBranch(), "z9hG4bK30239");
    ASSERT_EQ(message.routes.size(), 1u);
    EXPECT_TRUE(message.routes[0].address.uri.lr);
    const std::string* unusual = message.getHeader("UnknownHeaderWithUnusualValue", Position::First);
    ASSERT_NE(unusual, nullptr);
    EXPECT_EQ(*unusual, ";;,,;;,;");
    const std::string* fangled = message.getHeader("NewFangledHeader", Position::First);
    ASSERT_NE(fangled, nullptr);
    // The fold is linear white space: the value reads as one line.
    EXPECT_EQ(fangled->find_first_of("\r\n"), std::string::npos) << *fangled;
    EXPECT_EQ(fangled->rfind("newfangled value", 0), 0u) << *fangled;
    EXPECT_NE(fangled->find("continued newfangled value"), std::string::npos) << *fangled;
    std::vector<SipContact> contacts;
    ASSERT_TRUE(message.getContacts(contacts, {}));
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_FLOAT_EQ(contacts[0].q, 0.33f);
    EXPECT_EQ(message.body.getLength(), 150);
}

TEST(SipTorture, UnusualCharactersNulAndUtf8SurviveParseAndPrint) {
    SipMessage message = parsed("intmeth");
    EXPECT_EQ(message.methodKind, -1);
    EXPECT_EQ(message.methodName, "!interesting-Method0123456789_*+`.%indeed'~");
    EXPECT_EQ(message.cseq.getNumber(), 139122385);
    EXPECT_EQ(message.requestUri.userInfo.user, "1_unusual.URI~(to-be!sure)&isn't+it$/crazy?,/;;*");
    EXPECT_EQ(message.requestUri.userInfo.password, "&it+has=1,weird!*pas$wo~d_too.(doesn't-it)");
    EXPECT_EQ(message.vias[0].getBranch(), "z9hG4bK-.!%66*_+`'~");
    EXPECT_EQ(message.from.tag, "_token~1'+`*%!-.");
    EXPECT_EQ(message.callId, "intmeth.word%ZK-!.*_+'@word`~)(><:\\/\"][?}{");
    const std::string nulName = std::string("\"BEL:\\\x07 NUL:\\") + '\0' + " DEL:\\\x7f\"";
    const std::string printed = message.toString();
    EXPECT_NE(printed.find(nulName), std::string::npos);
    EXPECT_NE(printed.find("\xef\xbb\xbf\xe5\xa4\xa7\xe5\x81\x9c\xe9\x9b\xbb"), std::string::npos);
    EXPECT_NE(printed.find("\xd1\x80\xd0\xb0\xd0\xb1\xd0\xbe\xd1\x82\xd0\xb0\xd1\x8e\xd1\x89\xd0\xb8\xd0\xb9"),
              std::string::npos);
}

TEST(SipTorture, PercentIsAnEscapeOnlyInsideUris) {
    SipMessage esc01 = parsed("esc01");
    EXPECT_EQ(esc01.requestUri.hostPort.host, "example.net");
    EXPECT_EQ(esc01.callId, "esc01.239409asdfakjkn23onasd0-3234");
    EXPECT_EQ(esc01.contentType, "application/sdp");

    SipMessage esc02 = parsed("esc02");
    EXPECT_EQ(esc02.methodKind, -1);
    EXPECT_EQ(esc02.methodName, "RE%47IST%45R");
    EXPECT_EQ(esc02.vias[0].getBranch(), "z9hG4bK209%fzsnel234");
    std::vector<SipContact> contacts;
    ASSERT_TRUE(esc02.getContacts(contacts, {}));
    EXPECT_EQ(contacts.size(), 2u);  // C%6Fntact is another header
    EXPECT_NE(esc02.getHeader("C%6Fntact", Position::First), nullptr);

    SipMessage escnull = parsed("escnull");
    ASSERT_TRUE(escnull.getContacts(contacts, SipContactOptions{false, false, true}));
    ASSERT_EQ(contacts.size(), 2u);
    EXPECT_EQ(contacts[0].address.uri.userInfo.user, std::string(1, '\0'));
    EXPECT_EQ(contacts[1].address.uri.userInfo.user, std::string(2, '\0'));

    SipMessage semiuri = parsed("semiuri");
    EXPECT_EQ(semiuri.requestUri.userInfo.user, "user;par=u%40example.net");
    EXPECT_EQ(semiuri.requestUri.hostPort.host, "example.com");
}

TEST(SipTorture, LongValuesManyViasTrailingOctetsAndBinaryBodiesAreFramedExactly) {
    SipMessage longreq = parsed("longreq");
    ASSERT_EQ(longreq.vias.size(), 34u);
    EXPECT_EQ(longreq.vias[0].getSentBy().host, "sip33.example.com");
    EXPECT_EQ(longreq.vias[32].getSentBy().host, "sip1.example.com");
    EXPECT_EQ(longreq.vias[33].getReceived(), "192.0.2.5");
    EXPECT_EQ(longreq.to.address.uri.hostPort.port, 6000);
    EXPECT_EQ(longreq.from.tag.size(), 155u);

    SipMessage dblreq = parsed("dblreq");
    EXPECT_EQ(dblreq.methodKind, SipMethod::Register);
    EXPECT_EQ(dblreq.body.getLength(), 0);

    SipMessage transports = parsed("transports");
    ASSERT_EQ(transports.vias.size(), 5u);
    const char* expected[] = {"UDP", "SCTP", "TLS", "UNKNOWN", "TCP"};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(transports.vias[i].getTransport(), expected[i]);

    SipMessage mpart = parsed("mpart01");
    EXPECT_EQ(mpart.body.getLength(), 553);
    EXPECT_EQ(mpart.contentType, "multipart/mixed;boundary=7a9cbec02ceef655");
    EXPECT_EQ(mpart.vias[0].getRport(), 0);

    SipMessage unreason = parsed("unreason");
    EXPECT_EQ(unreason.statusCode, 200);
    EXPECT_EQ(unreason.reasonPhrase.rfind("= 2**3 * 5**2 \xd0\xbd\xd0\xbe ", 0), 0u);
}
