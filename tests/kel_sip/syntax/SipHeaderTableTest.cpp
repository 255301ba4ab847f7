#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipIdentifier.h"
#include "kel_sip/syntax/SipReasonPhrase.h"
#include "kel_sip/syntax/SipSwitches.h"

using namespace kel_sip;

namespace {

int kindOf(const std::string& name) { return SipHeader::kindOf(name.data(), static_cast<int>(name.size())); }

std::string upper(std::string s) {
    for (char& c : s) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    return s;
}

}  // namespace

TEST(SipHeaderTable, EveryFullNameMapsBackToItsKindInAnyCase) {
    for (int kind = 0; kind < SipHeader::Count; ++kind) {
        const std::string name = SipHeader::name(kind);
        EXPECT_EQ(kindOf(name), kind) << name;
        EXPECT_EQ(kindOf(upper(name)), kind) << name;
    }
    EXPECT_EQ(kindOf("P-Asserted-Identity"), 64);
    EXPECT_EQ(kindOf("www-authenticate"), SipHeader::WwwAuthenticate);
    EXPECT_EQ(SipHeader::name(SipHeader::Count), nullptr);
    EXPECT_EQ(SipHeader::name(-1), nullptr);
}

TEST(SipHeaderTable, ElevenCompactFormsArePrintedAndFourMoreAreRead) {
    const std::string compact = "imftvelcksx";
    // Event, Allow-Events, Refer-To and Referred-By arrive compact from peers: read, never printed.
    const std::string readOnly = "ourb";
    const int readOnlyKinds[] = {SipHeader::Event, SipHeader::AllowEvents, SipHeader::ReferTo, SipHeader::ReferredBy};
    for (size_t i = 0; i < readOnly.size(); ++i) {
        EXPECT_EQ(kindOf(std::string(1, readOnly[i])), readOnlyKinds[i]) << readOnly[i];
        EXPECT_EQ(kindOf(upper(std::string(1, readOnly[i]))), readOnlyKinds[i]) << readOnly[i];
        EXPECT_STREQ(SipHeader::printName(readOnlyKinds[i], true), SipHeader::name(readOnlyKinds[i]));
    }
    int withCompact = 0;
    for (int kind = 0; kind < SipHeader::Count; ++kind) {
        if (SipHeader::compactName(kind) != nullptr) ++withCompact;
    }
    EXPECT_EQ(withCompact, 11);
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        const std::string name(1, letter);
        const int kind = kindOf(name);
        if (readOnly.find(letter) != std::string::npos) continue;
        if (compact.find(letter) == std::string::npos) {
            EXPECT_EQ(kind, SipHeader::Unknown) << name;
        } else {
            ASSERT_NE(kind, SipHeader::Unknown) << name;
            EXPECT_STREQ(SipHeader::compactName(kind), name.c_str());
            EXPECT_EQ(kindOf(upper(name)), kind);
        }
    }
    EXPECT_EQ(kindOf("x"), SipHeader::SessionExpires);
    EXPECT_EQ(kindOf("v"), SipHeader::Via);
    EXPECT_EQ(kindOf("m"), SipHeader::Contact);
    EXPECT_STREQ(SipHeader::printName(SipHeader::CSeq, true), "CSeq");
    EXPECT_STREQ(SipHeader::printName(SipHeader::Contact, true), "m");
    EXPECT_STREQ(SipHeader::printName(SipHeader::Contact, false), "Contact");
}

TEST(SipHeaderTable, NamesOutsideTheTableAreUnknown) {
    for (const char* name : {"X-Custom", "Via2", "Vi", "Fro", "Call-Id-X", "-", "1", "\xc3\xa9", "Contact "}) {
        EXPECT_EQ(kindOf(name), SipHeader::Unknown) << name;
    }
    EXPECT_EQ(SipHeader::kindOf(nullptr, 0), SipHeader::Unknown);
    // Only the given length counts; no terminating NUL is looked for.
    EXPECT_EQ(SipHeader::kindOf("ToXYZ", 2), SipHeader::To);
}

TEST(SipReasonPhrase, KnownAndUnknownCodes) {
    EXPECT_STREQ(sipReasonPhrase(100), "Trying");
    EXPECT_STREQ(sipReasonPhrase(183), "Session Progress");
    EXPECT_STREQ(sipReasonPhrase(406), "Not Acceptable");
    EXPECT_STREQ(sipReasonPhrase(606), "Not Acceptable");
    EXPECT_STREQ(sipReasonPhrase(481), "Call/Transaction Does Not Exist");
    EXPECT_STREQ(sipReasonPhrase(604), "Does Not Exist Anywhere");
    for (int code : {0, 99, 199, 599, 605, 700, -1}) EXPECT_STREQ(sipReasonPhrase(code), "Undefined Error") << code;
}

TEST(SipIdentifier, FormsAreFixedWidthLowerCaseHex) {
    auto isHex = [](const std::string& s) {
        return s.find_first_not_of("0123456789abcdef") == std::string::npos;
    };
    const std::string branch = makeBranch();
    ASSERT_EQ(branch.size(), 15u);
    EXPECT_EQ(branch.substr(0, 7), "z9hG4bK");
    EXPECT_TRUE(isHex(branch.substr(7)));
    const std::string tag = makeTag();
    EXPECT_EQ(tag.size(), 8u);
    EXPECT_TRUE(isHex(tag));
    const std::string callId = makeCallId("192.0.2.4");
    ASSERT_EQ(callId.size(), 26u + 10u);
    EXPECT_EQ(callId[8], '-');
    EXPECT_EQ(callId[17], '-');
    EXPECT_EQ(callId.substr(26), "@192.0.2.4");
    EXPECT_TRUE(isHex(callId.substr(0, 8) + callId.substr(9, 8) + callId.substr(18, 8)));
    EXPECT_EQ(makeCallId().size(), 26u);
}

TEST(SipIdentifier, TenThousandTagsAreDistinct) {
    std::set<std::string> tags;
    for (int i = 0; i < 10000; ++i) tags.insert(makeTag());
    EXPECT_EQ(tags.size(), 10000u);
}

TEST(SipSwitches, SetReadAndFindByEitherName) {
    resetSipSwitches();
    for (int i = 0; i < kSipSwitchCount; ++i) EXPECT_FALSE(sipSwitch(static_cast<SipSwitch>(i)));
    setSipSwitch(SipSwitch::EscapeContact, true);
    EXPECT_TRUE(sipSwitch(SipSwitch::EscapeContact));
    EXPECT_FALSE(sipSwitch(SipSwitch::UnEscapeContact));
    EXPECT_EQ(sipSwitchByName("oneLine"), SipSwitch::SipHeaderOneLine);
    EXPECT_EQ(sipSwitchByName("SipHeaderOneLine"), SipSwitch::SipHeaderOneLine);
    EXPECT_EQ(sipSwitchByName("COMPACT"), SipSwitch::Compact);
    EXPECT_EQ(sipSwitchByName("unEscapeRoute"), SipSwitch::UnEscapeRoute);
    EXPECT_FALSE(sipSwitchByName("escape"));
    for (int i = 0; i < kSipSwitchCount; ++i) {
        EXPECT_EQ(sipSwitchByName(sipSwitchName(static_cast<SipSwitch>(i))), static_cast<SipSwitch>(i));
    }
    resetSipSwitches();
    EXPECT_FALSE(sipSwitch(SipSwitch::EscapeContact));
}
