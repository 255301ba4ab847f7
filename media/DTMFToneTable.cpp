#include "media/DTMFToneTable.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "media/G711.h"

namespace {

constexpr char kCharacters[DTMFToneTable::kToneCount + 1] = "0123456789ABCD*#";

struct TonePair {
    int low;
    int high;
};

// By index: the row (697, 770, 852, 941 Hz) and column (1209, 1336, 1477, 1633 Hz) of the key.
constexpr TonePair kFrequencies[DTMFToneTable::kToneCount] = {
    {941, 1336}, {697, 1209}, {697, 1336}, {697, 1477}, {770, 1209}, {770, 1336}, {770, 1477}, {852, 1209},
    {852, 1336}, {852, 1477}, {697, 1633}, {770, 1633}, {852, 1633}, {941, 1633}, {941, 1209}, {941, 1477},
};

// sin(2π·frequency·i/8000), with the phase reduced to a whole cycle in integers first so
// that sample i + 8000 is exactly sample i.
double toneAt(int frequency, int i) {
    const int phase = static_cast<int>(static_cast<long long>(frequency) * i % DTMFToneTable::kToneLength);
    return std::sin(2 * std::numbers::pi * phase / DTMFToneTable::kToneLength);
}

}  // namespace

int DTMFToneTable::indexOf(char character) noexcept {
    for (int index = 0; index < kToneCount; ++index) {
        if (kCharacters[index] == character) return index;
    }
    return -1;
}

char DTMFToneTable::characterOf(int index) noexcept {
    return index >= 0 && index < kToneCount ? kCharacters[index] : '\0';
}

void DTMFToneTable::build(int amplitudePercent) {
    const int amplitude = std::clamp(amplitudePercent, 0, 100) * 32767 / 200;
    tones_.assign(static_cast<std::size_t>(kToneCount) * kToneLength, 0);
    auto out = tones_.begin();
    for (const TonePair& pair : kFrequencies) {
        for (int i = 0; i < kToneLength; ++i) {
            const double value = amplitude * (toneAt(pair.low, i) + toneAt(pair.high, i));
            *out++ = linearToUlaw(static_cast<std::int16_t>(value));
        }
    }
}

const std::uint8_t* DTMFToneTable::getTone(int index) const noexcept {
    if (!isBuilt() || index < 0 || index >= kToneCount) return nullptr;
    return tones_.data() + static_cast<std::size_t>(index) * kToneLength;
}
