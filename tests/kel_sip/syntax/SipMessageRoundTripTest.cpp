#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "SipCorpus.h"
#include "kel_sip/syntax/SipMessage.h"

using namespace kel_sip;
using kel_sip::test::loadCorpus;
using kel_sip::test::SwitchScope;

namespace {

constexpr SipSwitch kLayout[] = {SipSwitch::Compact, SipSwitch::ViaSeparateLine, SipSwitch::RouteSeparateLine,
                                 SipSwitch::RecordRouteSeparateLine, SipSwitch::SipHeaderOneLine};

// The message printed with every switch off: the form two equal messages share.
std::string canonical(const std::string& bytes, std::string& reason) {
    SwitchScope off;
    SipMessage message;
    if (!message.parse(bytes.data(), static_cast<int>(bytes.size()), reason)) return {};
    return message.toString();
}

}  // namespace

TEST(SipMessageRoundTrip, CorpusHasTheRealisticMessagesAndAllParse) {
    const auto corpus = loadCorpus();
    ASSERT_GE(corpus.size(), 20u);
    for (const auto& [name, bytes] : corpus) {
        SipMessage message;
        std::string reason;
        EXPECT_TRUE(message.parse(bytes.data(), static_cast<int>(bytes.size()), reason)) << name << ": " << reason;
        int status = 0;
        EXPECT_TRUE(message.validate(reason, status)) << name << ": " << reason;
    }
}

TEST(SipMessageRoundTrip, PrintThenParseGivesAnEqualMessageUnderEveryLayout) {
    for (const auto& [name, bytes] : loadCorpus()) {
        std::string reason;
        const std::string expected = canonical(bytes, reason);
        ASSERT_FALSE(expected.empty()) << name << ": " << reason;
        for (int mask = 0; mask < 32; ++mask) {
            std::string printed;
            {
                SwitchScope scope;
                for (int bit = 0; bit < 5; ++bit) scope.set(kLayout[bit], (mask & (1 << bit)) != 0);
                SipMessage message;
                ASSERT_TRUE(message.parse(bytes.data(), static_cast<int>(bytes.size()), reason)) << name;
                printed = message.toString();
            }
            EXPECT_EQ(canonical(printed, reason), expected) << name << " layout mask " << mask << "\n" << printed;
        }
    }
}
