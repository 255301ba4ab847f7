// The samples of a WAV file of 8 kHz mono 8-bit µ-law, the format of the phone's sound files
// (and of what MulawWavWriter writes), for the sound devices: MMIO's checked RIFF walk with
// the refusal as an exception.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class MulawWavReader {
public:
    // The samples of the data chunk. Throws WaveException when the file cannot be read or holds
    // anything else (MMIO logs why).
    static std::vector<std::uint8_t> read(const std::string& path);
};
