#include "media/MulawConversion.h"

#include <gtest/gtest.h>

TEST(MulawConversionTest, EncodesG711EdgesAndDecodesEveryByteBack) {
    for (const auto& [sample, byte] : std::vector<std::pair<int, int>>{
             {0, 0xFF}, {-1, 0x7F}, {32767, 0x80}, {-32768, 0x00}, {-32124, 0x00}, {32124, 0x80}, {100, 0xF2}}) {
        EXPECT_EQ(MulawConversion::encode(static_cast<std::int16_t>(sample)), byte) << sample;
    }
    for (int byte = 0; byte < 256; ++byte) {
        const auto back = MulawConversion::encode(MulawConversion::decode(static_cast<std::uint8_t>(byte)));
        EXPECT_EQ(back, byte == 0x7F ? 0xFF : byte) << byte;  // minus zero comes back as zero
    }
}
