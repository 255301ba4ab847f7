#include <gtest/gtest.h>

#include "media/PayloadType.h"
#include "media/WaveFormat.h"

TEST(PayloadType, OnlyPcmuTurnsDurationsIntoSamplesAndBytes) {
    PayloadType type;
    EXPECT_FALSE(type.set(8));
    EXPECT_FALSE(type.isSet());
    EXPECT_EQ(type.bytesForMs(20), 0);
    ASSERT_TRUE(type.set(0));
    EXPECT_EQ(type.getSilence(), 0xff);
    EXPECT_EQ(type.samplesForMs(20), 160);
    EXPECT_EQ(type.bytesForMs(20), 160);
    EXPECT_EQ(type.bytesForMs(100), 800);
    EXPECT_EQ(type.samplesForBytes(800), 800);
    EXPECT_EQ(type.bytesForSamples(160), 160);
    EXPECT_EQ(type.msForSamples(160), 20);
    EXPECT_EQ(type.msForSamples(7), 0);  // truncated
    EXPECT_FALSE(type.set(101));
    EXPECT_EQ(type.getPayloadType(), 0);  // a failed set leaves the record as it was
}

TEST(WaveFormat, OnlyCodecZeroIsMulaw8kMono) {
    WaveFormat format;
    EXPECT_FALSE(format.set(1));
    EXPECT_EQ(format.bytesForMs(100), 0);
    ASSERT_TRUE(format.set(0));
    EXPECT_EQ(format.formatTag, 7);
    EXPECT_EQ(format.bytesForMs(100), 800);
    EXPECT_EQ(format.bytesForMs(80), 640);
}
