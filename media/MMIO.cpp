#include "media/MMIO.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "kel_util/Log.h"
#include "media/WaveFormat.h"

namespace {

constexpr std::size_t kChunkHeader = 8;  // four-character id, 32-bit little-endian size
// The WAVEFORMAT form of "fmt " (16 bytes) has no extra-size field: it counts as 0.
constexpr std::size_t kShortFormatSize = 16;

std::uint16_t little16(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }

std::uint32_t little32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 | std::uint32_t{at[3]} << 24;
}

struct Chunk {
    const std::uint8_t* body = nullptr;
    std::size_t size = 0;
    bool complete = false;  // the whole body lies inside the file
};

// The bytes of a RIFF form: its chunks from `begin` to `end`.
class RiffWalk {
public:
    RiffWalk(const std::uint8_t* begin, const std::uint8_t* end) : begin_(begin), end_(end) {}

    // The first chunk named id, or nothing when the walk reaches the end or a chunk that
    // runs past it before finding one.
    std::optional<Chunk> find(const char* id) const {
        const std::uint8_t* at = begin_;
        while (static_cast<std::size_t>(end_ - at) >= kChunkHeader) {
            const std::size_t size = little32(at + 4);
            const std::uint8_t* body = at + kChunkHeader;
            const auto left = static_cast<std::size_t>(end_ - body);
            if (std::memcmp(at, id, 4) == 0) return Chunk{body, size, size <= left};
            if (size >= left) return std::nullopt;
            at = body + size + (size & 1);
        }
        return std::nullopt;
    }

private:
    const std::uint8_t* begin_;
    const std::uint8_t* end_;
};

// The "RIFF" header with form type "WAVE"; its chunks end where its size says, or at the
// end of the file when that is sooner (files written while streaming often leave the size
// unset).
std::optional<RiffWalk> waveForm(const std::uint8_t* file, std::size_t length) {
    if (length < 12 || std::memcmp(file, "RIFF", 4) != 0 || std::memcmp(file + 8, "WAVE", 4) != 0) {
        return std::nullopt;
    }
    // A size below 4 would end the form before its first chunk begins.
    const std::size_t formEnd = std::max<std::size_t>(12, kChunkHeader + std::size_t{little32(file + 4)});
    return RiffWalk(file + 12, file + std::min(formEnd, length));
}

WaveFormat readFormat(const Chunk& chunk) {
    const std::uint8_t* at = chunk.body;
    WaveFormat format;
    format.formatTag = little16(at);
    format.channels = little16(at + 2);
    format.samplesPerSec = little32(at + 4);
    format.avgBytesPerSec = little32(at + 8);
    format.blockAlign = little16(at + 12);
    format.bitsPerSample = little16(at + 14);
    format.cbSize = chunk.size > kShortFormatSize ? little16(at + 16) : 0;
    return format;
}

bool formatMatches(const Chunk& chunk, int codec) {
    WaveFormat wanted;
    if (!wanted.set(codec)) {
        kel_util::logPrint(kel_util::MIN, "MMIO::getWaveFileData. Invalid codec=%d.\n", codec);
        return false;
    }
    const WaveFormat format = readFormat(chunk);
    if (format == wanted) return true;
    kel_util::logPrint(kel_util::MIN,
                       "MMIO::getWaveFileData. Wave format does not match codec=%d, FormatTag=%d, Channels=%d, "
                       "SamplePerSec=%d, BitsPerSample=%d, AvgBytesPerSec=%d, BlockAlign=%d, cbSize=%d.\n",
                       codec, format.formatTag, format.channels, static_cast<int>(format.samplesPerSec),
                       format.bitsPerSample, static_cast<int>(format.avgBytesPerSec), format.blockAlign,
                       format.cbSize);
    return false;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> MMIO::getWaveFileData(const std::string& fileName, int codec) {
    std::ifstream in(fileName, std::ios::binary | std::ios::ate);
    if (!in) {
        kel_util::logPrint(kel_util::MIN, "MMIO::getWaveFileData. Failed to open file=[%s].\n", fileName.c_str());
        return std::nullopt;
    }
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<std::size_t>(size) > kMaxFileSize) {
        kel_util::logPrint(kel_util::MIN, "MMIO::getWaveFileData. Invalid file size=%lld, file=[%s].\n",
                           static_cast<long long>(size), fileName.c_str());
        return std::nullopt;
    }
    std::vector<std::uint8_t> file(static_cast<std::size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(file.data()), size)) {
        kel_util::logPrint(kel_util::MIN, "MMIO::getWaveFileData. Failed to read file=[%s].\n", fileName.c_str());
        return std::nullopt;
    }
    return getWaveData(file.data(), file.size(), codec);
}

std::optional<std::vector<std::uint8_t>> MMIO::getWaveData(const std::uint8_t* file, std::size_t length, int codec) {
    const std::optional<RiffWalk> form = waveForm(file, length);
    if (!form) {
        kel_util::logPrint(kel_util::MIN, "MMIO::getWaveFileData. Failed to get wave chunk.\n");
        return std::nullopt;
    }
    const std::optional<Chunk> format = form->find("fmt ");
    if (!format || !format->complete) {
        kel_util::logPrint(kel_util::MIN, "MMIO::getWaveFileData. Failed to get format chunk data.\n");
        return std::nullopt;
    }
    if (format->size < kShortFormatSize || format->size == kShortFormatSize + 1) {
        kel_util::logPrint(kel_util::MIN, "MMIO::getWaveFileData. Invalid format chunk data size=%lld.\n",
                           static_cast<long long>(format->size));
        return std::nullopt;
    }
    if (!formatMatches(*format, codec)) return std::nullopt;
    const std::optional<Chunk> data = form->find("data");
    if (!data || !data->complete || data->size == 0) {
        kel_util::logPrint(kel_util::MIN, "MMIO::getWaveFileData. Failed to get data chunk data.\n");
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(data->body, data->body + data->size);
}
