// The audio format of the sound card and of WAV files (the WAVEFORMATEX record of RIFF
// WAVE files): only codec 0, 8000 Hz mono 8-bit µ-law, can be set.
#pragma once

#include <cstdint>

struct WaveFormat {
    static constexpr std::uint16_t kFormatMulaw = 7;

    // The format of codec 0: tag 7, 1 channel, 8000 Hz, 8000 bytes/s, block 1, 8 bits, no
    // extra bytes. False, leaving the record unchanged, for any other codec.
    bool set(int codec);
    // Whole blocks for ms milliseconds; 0 while unset.
    int bytesForMs(int ms) const noexcept;

    bool operator==(const WaveFormat&) const = default;

    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint32_t avgBytesPerSec = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint16_t cbSize = 0;
};
