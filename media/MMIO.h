// Reads the sound of a RIFF WAVE file: the "fmt " chunk must be the codec's format exactly
// and the "data" chunk is returned whole. Every length in the file is checked against the
// bytes really there, and chunks of odd size are followed by their pad byte (RIFF pads every
// chunk to an even length).
//
// Threads: any; nothing is shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class MMIO {
public:
    // Files above this size are refused rather than read into memory (over an hour of
    // 8000-byte-per-second audio).
    static constexpr std::size_t kMaxFileSize = 64u << 20;

    // The data chunk of fileName when its format is codec's; nothing (and a log line at
    // level 2 saying why) when the file cannot be read, is not a WAVE file, or holds
    // another format or no sound.
    static std::optional<std::vector<std::uint8_t>> getWaveFileData(const std::string& fileName, int codec);

    // The same for a file's bytes already in memory.
    static std::optional<std::vector<std::uint8_t>> getWaveData(const std::uint8_t* file, std::size_t length,
                                                                int codec);
};
