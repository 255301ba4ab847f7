// Reads the samples of a WAV file of 8 kHz mono 8-bit µ-law, the format of the phone's sound
// files (and of what MulawWavWriter writes). The file is hostile input: every chunk size is
// checked against the bytes there are, and any other format is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class MulawWavReader {
public:
    // Files above this size are refused (more than two hours of sound).
    static constexpr std::size_t maxFileSize = 64u << 20;

    // The samples of the data chunk. Throws WaveException saying what is wrong.
    static std::vector<std::uint8_t> read(const std::string& path);
    // The same for a file already in memory; name is for the error texts.
    static std::vector<std::uint8_t> parse(const std::uint8_t* file, std::size_t length, const std::string& name);
};
