#include <gtest/gtest.h>

#include <string>

#include "kel_sip/syntax/HeaderList.h"
#include "kel_sip/syntax/SipHeader.h"

using namespace kel_sip;
using Position = kel_util::RFC822ValueList::Position;

TEST(HeaderList, KnownNamesGoToTheirKindAndOthersStayByName) {
    HeaderList list;
    list.addHeader("m", "<sip:a@h1>");
    list.addHeader("CONTACT", "<sip:b@h2>");
    list.addHeader("X-Trace", "one");
    list.addHeader("x-trace", "two");
    list.addHeader("x", "90");
    ASSERT_NE(list.typedHeaders.find(SipHeader::Contact), nullptr);
    EXPECT_EQ(list.typedHeaders.find(SipHeader::Contact)->size(), 2);
    ASSERT_NE(list.typedHeaders.find(SipHeader::SessionExpires), nullptr);
    EXPECT_EQ(*list.getHeader("Contact", Position::Last), "<sip:b@h2>");
    EXPECT_EQ(*list.getHeader(SipHeader::Contact, Position::First), "<sip:a@h1>");
    EXPECT_EQ(*list.getHeader(SipHeader::Contact, Position::Next), "<sip:b@h2>");
    EXPECT_EQ(list.getHeader(SipHeader::Contact, Position::Next), nullptr);
    // The generic name keeps the form of its first insertion.
    ASSERT_EQ(list.headers.getEntries().size(), 1u);
    EXPECT_EQ(list.headers.getEntries()[0].name, "X-Trace");
    EXPECT_EQ(*list.getHeader("X-TRACE", Position::Last), "two");
    EXPECT_EQ(list.getHeader(SipHeader::Allow, Position::First), nullptr);
    EXPECT_TRUE(list.removeHeader("x-trace"));
    EXPECT_TRUE(list.removeHeader(SipHeader::Contact));
    EXPECT_FALSE(list.removeHeader(SipHeader::Contact));
    EXPECT_FALSE(list.hasHeader(SipHeader::Contact));
    EXPECT_TRUE(list.hasHeader(SipHeader::SessionExpires));
}

TEST(HeaderList, ParsesFoldedBlockAndPrintsTypedKindsWithFullNamesFirst) {
    const std::string block = "X-A: 1\r\nk: timer,\r\n 100rel\r\nSubject: hi\r\n\r\nignored: after the empty line\r\n";
    HeaderList list;
    ASSERT_TRUE(list.parse(block.data(), static_cast<int>(block.size()), true));
    std::string out;
    list.print(out);
    EXPECT_EQ(out, "Supported: timer,\r\n 100rel\r\nSubject: hi\r\nX-A: 1\r\n");
}

TEST(HeaderList, LineWithoutColonFailsAndClearFirstLeavesItEmpty) {
    HeaderList list;
    list.addHeader("Subject", "before");
    const std::string block = "X-A: 1\r\nno colon here\r\n";
    EXPECT_FALSE(list.parse(block.data(), static_cast<int>(block.size()), true));
    EXPECT_TRUE(list.empty());
    const std::string blank = ": value\r\n";
    EXPECT_FALSE(list.parse(blank.data(), static_cast<int>(blank.size()), false));
}

TEST(HeaderList, CopyingIntoAnotherAppendsValues) {
    HeaderList extra;
    extra.addHeader("Supported", "timer");
    extra.addHeader("X-Extra", "e");
    HeaderList target;
    target.addHeader("Supported", "100rel");
    target.addHeaders(extra);
    target.addHeaders(extra);
    EXPECT_EQ(target.typedHeaders.find(SipHeader::Supported)->size(), 3);
    EXPECT_EQ(target.headers.find("X-Extra")->size(), 2);
}

TEST(HeaderList, OptionTagsAreFoundInAnyValueAsWholeTokens) {
    HeaderList list;
    list.addHeader("k", "path, 100REL");
    list.addHeader("Supported", "timer,path");
    list.addHeader("Require", "100relx, xtimer");
    EXPECT_EQ(list.getStrList(SipHeader::Supported).toString(), "path,100REL,timer");
    EXPECT_TRUE(list.hasOptionTag(SipHeader::Supported, "100rel"));
    EXPECT_TRUE(list.hasOptionTag(SipHeader::Supported, "timer"));
    EXPECT_FALSE(list.hasOptionTag(SipHeader::Require, "100rel"));
    EXPECT_FALSE(list.hasOptionTag(SipHeader::Require, "timer"));
    EXPECT_FALSE(list.hasOptionTag(SipHeader::Unsupported, "timer"));
    list.addOptionTag(SipHeader::Require, "timer");
    EXPECT_EQ(*list.getHeader(SipHeader::Require, Position::First), "100relx,xtimer,timer");
}
