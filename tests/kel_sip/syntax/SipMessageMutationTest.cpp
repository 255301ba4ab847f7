// Hostile input: corpus messages with bytes flipped, cut, duplicated and spliced must parse or
// fail with a reason, never throw, and whatever parses must print into something that parses
// again to the same text.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "SipCorpus.h"
#include "kel_sip/syntax/SipMessageExt.h"

using namespace kel_sip;

namespace {

std::string mutate(const std::string& original, std::mt19937& random) {
    static const std::string kSpecial = "\r\n \t:;,<>\"@?=%[]\0\x80\xff-+9";
    std::string text = original;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < edits && !text.empty(); ++i) {
        const size_t at = random() % text.size();
        switch (random() % 5) {
            case 0: text[at] = kSpecial[random() % kSpecial.size()]; break;
            case 1: text.erase(at, 1 + random() % 8); break;
            case 2: text.insert(at, 1, kSpecial[random() % kSpecial.size()]); break;
            case 3: text.resize(at); break;
            default: text.insert(at, text.substr(random() % text.size(), random() % 40)); break;
        }
    }
    return text;
}

}  // namespace

TEST(SipMessageMutation, DamagedMessagesFailCleanlyOrRoundTrip) {
    std::mt19937 random(20261208);
    int parsedCount = 0;
    for (const auto& [name, bytes] : kel_sip::test::loadCorpus()) {
        for (int round = 0; round < 300; ++round) {
            const std::string damaged = mutate(bytes, random);
            SipMessageExt message;
            std::string reason;
            bool ok = false;
            ASSERT_NO_THROW(ok = message.parse(damaged.data(), static_cast<int>(damaged.size()), reason)) << name;
            if (!ok) {
                EXPECT_FALSE(reason.empty()) << name;
                continue;
            }
            ++parsedCount;
            const std::string printed = message.toString();
            SipMessageExt again;
            ASSERT_TRUE(again.parse(printed.data(), static_cast<int>(printed.size()), reason))
                << name << ": " << reason << "\n--- damaged:\n" << damaged << "\n--- printed:\n" << printed;
            EXPECT_EQ(again.toString(), printed) << name;
        }
    }
    // The mutations are mild enough that many messages still parse, so both paths are used.
    EXPECT_GT(parsedCount, 500);
}
