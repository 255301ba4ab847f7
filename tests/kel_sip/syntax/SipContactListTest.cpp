#include "kel_sip/syntax/SipContactList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kel_sip::readContacts;
using kel_sip::SipContact;
using kel_sip::SipContactOptions;

namespace {

std::vector<std::string> users(const std::vector<SipContact>& contacts) {
    std::vector<std::string> out;
    for (const SipContact& c : contacts) out.push_back(c.wildcard ? "*" : c.address.uri.userInfo.user);
    return out;
}

}  // namespace

TEST(SipContactList, SortsByDescendingQKeepingArrivalOrderForTies) {
    const std::vector<std::string> values = {"<sip:a@h>;q=0.5, <sip:b@h>;q=1", "sip:c@h;q=0.5,<sip:d@h>",
                                             "<sip:e@h>;q=0.7"};
    std::vector<SipContact> contacts;
    ASSERT_TRUE(readContacts(values, contacts, SipContactOptions{.sortByQ = true}));
    EXPECT_EQ(users(contacts), (std::vector<std::string>{"b", "e", "a", "c", "d"}));
    ASSERT_TRUE(readContacts(values, contacts, SipContactOptions{}));
    EXPECT_EQ(users(contacts), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
}

TEST(SipContactList, QuotedCommasAndUserPartCommasDoNotSplit) {
    const std::vector<std::string_view> values = {"\"Watson, Thomas\" <sip:tw@h>,sip:x,y@h , <sip:z@h>"};
    std::vector<SipContact> contacts;
    ASSERT_TRUE(readContacts(values, contacts, SipContactOptions{}));
    ASSERT_EQ(users(contacts), (std::vector<std::string>{"tw", "x,y", "z"}));
    EXPECT_EQ(contacts[0].address.displayName, "\"Watson, Thomas\"");
}

TEST(SipContactList, CommaBeforeTheNextUriSplitsEvenWithoutLws) {
    // The look-ahead from the first comma reaches the "@" of the next URI; the scheme after the
    // comma shows that the comma separates two contacts.
    const std::vector<std::string_view> values = {"sip:192.0.2.1,sip:bob@192.0.2.2,SIPS:c,d@h,tel:+1"};
    std::vector<SipContact> contacts;
    ASSERT_TRUE(readContacts(values, contacts, SipContactOptions{}));
    ASSERT_EQ(contacts.size(), 4u);
    EXPECT_EQ(contacts[0].address.uri.hostPort.host, "192.0.2.1");
    EXPECT_EQ(users(contacts), (std::vector<std::string>{"", "bob", "c,d", ""}));
    EXPECT_EQ(contacts[3].address.uri.opaque, "+1");
}

TEST(SipContactList, SipOnlySkipsOtherSchemesButTheyCountAsRead) {
    std::vector<SipContact> contacts;
    const std::vector<std::string> others = {"<mailto:a@b>, *"};
    EXPECT_TRUE(readContacts(others, contacts, SipContactOptions{.sipOnly = true}));
    EXPECT_TRUE(contacts.empty());
    ASSERT_TRUE(readContacts(others, contacts, SipContactOptions{}));
    EXPECT_EQ(users(contacts), (std::vector<std::string>{"", "*"}));
    EXPECT_FALSE(readContacts(std::vector<std::string>{"", " , "}, contacts, SipContactOptions{}));
}

TEST(SipContactList, UnescapeKeepsNulBytes) {
    // RFC 4475 3.1.1.4 (escnull).
    const std::vector<std::string> values = {"<sip:%00@host5.example.com>", "<sip:%00%00@host5.example.com>"};
    std::vector<SipContact> contacts;
    ASSERT_TRUE(readContacts(values, contacts, SipContactOptions{.unescape = true}));
    EXPECT_EQ(users(contacts), (std::vector<std::string>{std::string(1, '\0'), std::string(2, '\0')}));
    ASSERT_TRUE(readContacts(values, contacts, SipContactOptions{}));
    EXPECT_EQ(contacts[0].address.uri.userInfo.user, "%00");
}

TEST(SipContactList, OneBadValueEmptiesTheList) {
    std::vector<SipContact> contacts;
    ASSERT_TRUE(readContacts(std::vector<std::string>{"<sip:a@h>"}, contacts, SipContactOptions{}));
    EXPECT_FALSE(readContacts(std::vector<std::string>{"<sip:a@h>", "<sip:b@h>;q=2"}, contacts, SipContactOptions{}));
    EXPECT_TRUE(contacts.empty());
}
