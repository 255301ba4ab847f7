// The G.711 µ-law conversion (ITU-T G.711) between 16-bit linear samples and µ-law bytes, for
// sound cards that take only linear samples. Encoding uses bias 132 and the segment ends
// 255, 511, ..., 32767; decoding is its inverse (0xFF and 0x7F both decode to 0).
#pragma once

#include <cstddef>
#include <cstdint>

struct MulawConversion {
    static std::uint8_t encode(std::int16_t sample) {
        static constexpr int segmentEnds[8] = {255, 511, 1023, 2047, 4095, 8191, 16383, 32767};
        const int x = sample;
        const int mask = x < 0 ? 0x7F : 0xFF;
        const int biased = x < 0 ? 132 - x : x + 132;
        for (int segment = 0; segment < 8; ++segment) {
            if (biased <= segmentEnds[segment]) {
                return static_cast<std::uint8_t>(mask ^ (segment << 4 | ((biased >> (segment + 3)) & 0x0F)));
            }
        }
        return static_cast<std::uint8_t>(mask ^ 0x7F);
    }

    static std::int16_t decode(std::uint8_t byte) {
        const int u = ~byte & 0xFF;
        const int magnitude = (((u & 0x0F) << 3) + 132) << ((u & 0x70) >> 4);
        return static_cast<std::int16_t>((u & 0x80) != 0 ? 132 - magnitude : magnitude - 132);
    }

    static void encode(const std::int16_t* samples, std::size_t count, std::uint8_t* out) {
        for (std::size_t i = 0; i < count; ++i) out[i] = encode(samples[i]);
    }

    static void decode(const std::uint8_t* bytes, std::size_t count, std::int16_t* out) {
        for (std::size_t i = 0; i < count; ++i) out[i] = decode(bytes[i]);
    }
};

