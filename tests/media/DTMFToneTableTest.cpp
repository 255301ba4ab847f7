#include "media/DTMFToneTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "SpanDsp.h"
#include "media/G711.h"

namespace {

constexpr char kDigits[] = "0123456789ABCD*#";
constexpr int kLow[] = {941, 697, 697, 697, 770, 770, 770, 852, 852, 852, 697, 770, 852, 941, 941, 941};
constexpr int kHigh[] = {1336, 1209, 1336, 1477, 1209, 1336, 1477, 1209, 1336, 1477, 1633, 1633, 1633, 1633, 1209, 1477};

// What spandsp's detector hears in tones of 120 ms, each started 40 ms before the end of
// its one-second loop so that it crosses the seam, with 120 ms of silence between them.
std::string detect(const DTMFToneTable& table) {
    dtmf_rx_state_t* detector = dtmf_rx_init(nullptr, nullptr, nullptr);
    constexpr int kToneSamples = 960;
    constexpr int kStart = DTMFToneTable::kToneLength - 320;
    std::vector<std::int16_t> samples;
    for (int index = 0; index < DTMFToneTable::kToneCount; ++index) {
        const std::uint8_t* tone = table.getTone(index);
        for (int i = 0; i < kToneSamples; ++i) samples.push_back(ulawToLinear(tone[(kStart + i) % DTMFToneTable::kToneLength]));
        samples.insert(samples.end(), kToneSamples, 0);
    }
    dtmf_rx(detector, samples.data(), static_cast<int>(samples.size()));
    char digits[64] = {};
    dtmf_rx_get(detector, digits, sizeof digits - 1);
    dtmf_rx_free(detector);
    return digits;
}

}  // namespace

TEST(DTMFToneTable, SpandspHearsEveryDigitAtThreeAmplitudes) {
    for (const int percent : {10, 60, 90}) {
        DTMFToneTable table;
        table.build(percent);
        EXPECT_EQ(detect(table), kDigits) << percent << " %";
    }
}

TEST(DTMFToneTable, TonesLoopWithoutSeam) {
    // Two seconds of the looped table against the continuous two-tone signal: a phase step
    // at the seam, or a frequency whose cycles do not fit the second, is far outside the
    // µ-law step (1/16 of the magnitude, plus the quantum near 0).
    constexpr int kPercent = 90;
    const double amplitude = kPercent * 32767 / 200;
    DTMFToneTable table;
    table.build(kPercent);
    ASSERT_EQ(table.getToneLength(), 8000);
    for (int index = 0; index < DTMFToneTable::kToneCount; ++index) {
        const std::uint8_t* tone = table.getTone(index);
        double worst = 0;
        for (int i = 0; i < 2 * DTMFToneTable::kToneLength; ++i) {
            const double ideal = amplitude * (std::sin(2 * std::numbers::pi * kLow[index] * i / 8000.0) +
                                              std::sin(2 * std::numbers::pi * kHigh[index] * i / 8000.0));
            const double error = std::abs(ulawToLinear(tone[i % DTMFToneTable::kToneLength]) - ideal);
            worst = std::max(worst, error - (std::abs(ideal) / 16 + 8));
        }
        EXPECT_LE(worst, 0) << kDigits[index];
    }
}

TEST(DTMFToneTable, MapsCharactersAndIndexes) {
    for (int index = 0; index < 16; ++index) {
        EXPECT_EQ(DTMFToneTable::indexOf(kDigits[index]), index);
        EXPECT_EQ(DTMFToneTable::characterOf(index), kDigits[index]);
    }
    for (const char other : {'a', 'E', '\0'}) EXPECT_EQ(DTMFToneTable::indexOf(other), -1) << other;

    // Held to 100 %: the two tones' sum stays inside the 16-bit range instead of wrapping.
    DTMFToneTable loud;
    loud.build(250);
    DTMFToneTable full;
    full.build(100);
    EXPECT_EQ(std::vector<std::uint8_t>(loud.getTone(0), loud.getTone(0) + 8000),
              std::vector<std::uint8_t>(full.getTone(0), full.getTone(0) + 8000));
}
