#include "media/G711.h"

#include <gtest/gtest.h>

#include "SpanDsp.h"

TEST(G711, EncoderMatchesSpandspForEverySample) {
    int differences = 0;
    for (int sample = -32768; sample <= 32767; ++sample) {
        const auto ours = linearToUlaw(static_cast<std::int16_t>(sample));
        const auto reference = linear_to_ulaw(sample);
        if (ours != reference && ++differences <= 5) ADD_FAILURE() << sample << ": " << int{ours} << " != " << int{reference};
    }
    EXPECT_EQ(differences, 0);
}

TEST(G711, DecoderMatchesSpandspAndEncodesBack) {
    for (int code = 0; code < 256; ++code) {
        const std::int16_t linear = ulawToLinear(static_cast<std::uint8_t>(code));
        EXPECT_EQ(linear, ulaw_to_linear(static_cast<std::uint8_t>(code))) << code;
        // Negative zero (0x7f) comes back as positive zero (0xff).
        EXPECT_EQ(linearToUlaw(linear), code == 0x7f ? 0xff : code) << code;
    }
}
