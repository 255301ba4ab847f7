#include "media/MulawWavWriter.h"

#include "media/WaveException.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace {

constexpr std::uint32_t headerLength = 58;  // RIFF, fmt (18), fact (4), data chunk header

void put32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

void MulawWavWriter::open(const std::string& path) {
    close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) throw WaveException("cannot create " + path + ": " + kel_util::errorText(errno), errno);
    path_ = path;
    dataLength_ = 0;
    try {
        writeHeader();
    } catch (...) {
        close();
        throw;
    }
}

void MulawWavWriter::append(const std::uint8_t* bytes, std::size_t length) {
    if (fd_ < 0) throw WaveException("append: no WAV file open");
    // The RIFF size field (4 bytes) must hold the header, the data and a pad byte.
    if (length > std::numeric_limits<std::uint32_t>::max() - headerLength - 1 - dataLength_) {
        throw WaveException(path_ + " is full");
    }
    writeAt(headerLength + std::uint64_t{dataLength_}, bytes, length);
    dataLength_ += static_cast<std::uint32_t>(length);
    if (dataLength_ % 2 != 0) {
        const std::uint8_t pad = 0;  // RIFF chunks are padded to an even size
        writeAt(headerLength + std::uint64_t{dataLength_}, &pad, 1);
    }
    writeHeader();
}

void MulawWavWriter::close() noexcept {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}

void MulawWavWriter::writeHeader() {
    std::uint8_t header[headerLength];
    std::memcpy(header, "RIFF\0\0\0\0WAVEfmt \x12\0\0\0", 20);
    put32(header + 4, headerLength - 8 + dataLength_ + dataLength_ % 2);
    std::memcpy(header + 20, formatChunk.data(), formatChunk.size());
    std::memcpy(header + 38, "fact\x04\0\0\0", 8);
    put32(header + 46, dataLength_);
    std::memcpy(header + 50, "data", 4);
    put32(header + 54, dataLength_);
    writeAt(0, header, sizeof header);
}

void MulawWavWriter::writeAt(std::uint64_t offset, const void* bytes, std::size_t length) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    while (length > 0) {
        const ssize_t n = ::pwrite(fd_, p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int code = n < 0 ? errno : EIO;
            throw WaveException("cannot write " + path_ + ": " + kel_util::errorText(code), code);
        }
        p += n;
        offset += static_cast<std::uint64_t>(n);
        length -= static_cast<std::size_t>(n);
    }
}
