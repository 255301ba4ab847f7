// Writes a WAV file of 8 kHz mono 8-bit µ-law: the "fmt " chunk below, a "fact" chunk with the
// sample count, then the samples in the "data" chunk. The sizes in the header are brought up to
// date after every append, so a recording cut short can still be read.
//
// Not for concurrent use.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class MulawWavWriter {
public:
    // The body of the format chunk: format tag 7 (µ-law), 1 channel, 8000 samples per second,
    // 8000 bytes per second, block alignment 1, 8 bits per sample, no extra bytes; little-endian.
    static constexpr std::array<std::uint8_t, 18> formatChunk = {7, 0, 1, 0, 0x40, 0x1f, 0, 0, 0x40,
                                                                 0x1f, 0, 0, 1, 0, 8, 0, 0, 0};

    MulawWavWriter() = default;
    ~MulawWavWriter() { close(); }
    MulawWavWriter(const MulawWavWriter&) = delete;
    MulawWavWriter& operator=(const MulawWavWriter&) = delete;

    // Creates or empties the file and writes the header of an empty recording. Throws
    // WaveException.
    void open(const std::string& path);
    // Appends samples; throws WaveException when the file cannot take them (4 GiB at most).
    void append(const std::uint8_t* bytes, std::size_t length);
    void close() noexcept;
    bool isOpen() const noexcept { return fd_ >= 0; }

private:
    void writeAt(std::uint64_t offset, const void* bytes, std::size_t length);
    void writeHeader();

    int fd_ = -1;
    std::string path_;
    std::uint32_t dataLength_ = 0;
};
