#include "kel_util/Random.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <unordered_set>

TEST(Random, IdentifiersDoNotRepeat) {
    std::unordered_set<std::uint32_t> seen;
    for (int i = 0; i < 200000; ++i) {
        ASSERT_TRUE(seen.insert(kel_util::randomUInt32()).second) << "repeat after " << i << " draws";
    }
}

TEST(Random, IdentifiersUseEveryBit) {
    // A stuck bit would shrink the identifier space peers see; over 1,000 draws every one of the
    // 32 bits is set in some value and clear in another.
    std::uint32_t anySet = 0;
    std::uint32_t anyClear = 0;
    for (int i = 0; i < 1000; ++i) {
        const std::uint32_t value = kel_util::randomUInt32();
        anySet |= value;
        anyClear |= ~value;
    }
    EXPECT_EQ(anySet, 0xffffffffU);
    EXPECT_EQ(anyClear, 0xffffffffU);
}
