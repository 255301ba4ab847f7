#include "media/G711.h"

namespace {

constexpr int kBias = 132;
// The largest biased magnitude of each of the eight segments.
constexpr int kSegmentEnd[8] = {255, 511, 1023, 2047, 4095, 8191, 16383, 32767};

}  // namespace

std::uint8_t linearToUlaw(std::int16_t sample) noexcept {
    // Codes are sent inverted: the sign bit set for positive values, every bit for the rest.
    const int mask = sample < 0 ? 0x7F : 0xFF;
    const int biased = sample < 0 ? kBias - sample : sample + kBias;
    for (int segment = 0; segment < 8; ++segment) {
        if (biased <= kSegmentEnd[segment]) {
            return static_cast<std::uint8_t>(mask ^ (segment << 4 | ((biased >> (segment + 3)) & 0x0F)));
        }
    }
    return static_cast<std::uint8_t>(mask ^ 0x7F);
}

std::int16_t ulawToLinear(std::uint8_t code) noexcept {
    const int inverted = ~code & 0xFF;
    const int magnitude = (((inverted & 0x0F) << 3) + kBias) << ((inverted & 0x70) >> 4);
    return static_cast<std::int16_t>((inverted & 0x80) != 0 ? kBias - magnitude : magnitude - kBias);
}
