#include "media/MulawWavReader.h"

#include "media/MMIO.h"
#include "media/WaveException.h"

#include <optional>
#include <utility>

namespace {

constexpr int kMulawCodec = 0;  // codec 0 of WaveFormat::set: 8 kHz mono 8-bit µ-law

}  // namespace

std::vector<std::uint8_t> MulawWavReader::read(const std::string& path) {
    std::optional<std::vector<std::uint8_t>> samples = MMIO::getWaveFileData(path, kMulawCodec);
    if (!samples) throw WaveException("Not a readable 8 kHz mono mu-law WAV file: " + path);
    return std::move(*samples);
}
