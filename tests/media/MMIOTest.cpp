// WAV files made by sox (a real writer), read back, refused, and cut up.
#include "media/MMIO.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using tessaly_test::readFile;
using tessaly_test::writeFile;

class MMIOTest : public ::testing::Test {
protected:
    // The WAV file sox writes for raw µ-law bytes (8000 Hz, mono).
    Bytes soxMulaw(const Bytes& sound) {
        writeFile(dir_.file("in.ul"), std::string(sound.begin(), sound.end()));
        return sox("-t ul -r 8000 -c 1 " + dir_.file("in.ul"), "mulaw.wav");
    }
    // The bytes of dir/name as sox writes it from input (options and file) through effects.
    Bytes sox(const std::string& input, const std::string& name, const std::string& effects = "") {
        const std::string command = "sox " + input + " " + dir_.file(name) + " " + effects + " 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        const std::string bytes = readFile(dir_.file(name));
        return Bytes(bytes.begin(), bytes.end());
    }
    static std::optional<Bytes> read(const Bytes& file, int codec = 0) {
        return MMIO::getWaveData(file.data(), file.size(), codec);
    }

    tessaly_test::TempDir dir_;
};

// Every µ-law byte but 0x7f, negative zero, which sox writes back as 0xff.
Bytes someSound(std::size_t length) {
    Bytes sound(length);
    for (std::size_t i = 0; i < length; ++i) {
        const auto code = static_cast<std::uint8_t>(i * 7 + i / 256);
        sound[i] = code == 0x7f ? 0xff : code;
    }
    return sound;
}

void putLittle32(Bytes& file, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// file with a chunk inserted at offset `at`, its pad byte when odd, and the RIFF size fixed.
Bytes withChunk(Bytes file, std::size_t at, const char* id, const Bytes& body) {
    // Sized once and filled in place: growing an 8-byte vector by insert trips a false
    // array-bounds warning of g++ 12 under -fsanitize=thread.
    Bytes chunk(8 + body.size() + body.size() % 2, 0);
    std::copy(id, id + 4, chunk.begin());
    putLittle32(chunk, 4, static_cast<std::uint32_t>(body.size()));
    std::copy(body.begin(), body.end(), chunk.begin() + 8);
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), chunk.begin(), chunk.end());
    putLittle32(file, 4, static_cast<std::uint32_t>(file.size() - 8));
    return file;
}

constexpr std::size_t kFmtAt = 12;  // sox writes "fmt " first

}  // namespace

TEST_F(MMIOTest, ReadsTheSoundOfASoxMulawFileAndSkipsOddChunks) {
    const Bytes sound = someSound(8001);
    const Bytes file = soxMulaw(sound);
    ASSERT_GT(file.size(), sound.size());
    EXPECT_EQ(MMIO::getWaveFileData(dir_.file("mulaw.wav"), 0), sound);

    // Odd-sized chunks before "fmt " and between "fmt " (26 bytes with its header) and "data".
    const Bytes padded = withChunk(withChunk(file, kFmtAt + 26, "junk", {1, 2, 3}), kFmtAt, "LIST", {'a'});
    EXPECT_EQ(read(padded), sound);
    // The pad byte is not part of the chunk: without it the walk loses step and finds no "fmt ".
    Bytes unpadded = withChunk(file, kFmtAt, "LIST", {'a'});
    unpadded.erase(unpadded.begin() + kFmtAt + 9);
    EXPECT_EQ(read(unpadded), std::nullopt);
}

TEST_F(MMIOTest, RefusesOtherFormatsWithTheFormatLine) {
    tessaly_test::LogCapture log;
    EXPECT_EQ(read(sox("-n -r 8000 -c 1 -e signed -b 16", "pcm16.wav", "synth 0.1 sine 440")), std::nullopt);
    EXPECT_EQ(read(sox("-n -r 8000 -c 2 -e mu-law -b 8", "stereo.wav", "synth 0.1 sine 440")), std::nullopt);
    EXPECT_EQ(read(soxMulaw(someSound(100)), 1), std::nullopt);
    const std::string text = log.text();
    EXPECT_NE(text.find("MMIO::getWaveFileData. Wave format does not match codec=0, FormatTag=1, Channels=1, "
                        "SamplePerSec=8000, BitsPerSample=16, AvgBytesPerSec=16000, BlockAlign=2, cbSize=0.\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("MMIO::getWaveFileData. Wave format does not match codec=0, FormatTag=7, Channels=2, "
                        "SamplePerSec=8000, BitsPerSample=8, AvgBytesPerSec=16000, BlockAlign=2, cbSize=0.\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("MMIO::getWaveFileData. Invalid codec=1.\n"), std::string::npos) << text;
}

TEST_F(MMIOTest, RefusesBrokenFilesWithoutReadingPastThem) {
    const Bytes sound = someSound(301);
    const Bytes file = soxMulaw(sound);
    const std::size_t dataAt = file.size() - sound.size() - 1 - 8;  // 301 is odd: sox pads it
    ASSERT_EQ(std::string(file.begin() + static_cast<std::ptrdiff_t>(dataAt), file.begin() + static_cast<std::ptrdiff_t>(dataAt) + 4), "data");
    // Every cut before the last sound byte is refused (ASan catches a read beyond the copy).
    for (std::size_t length = 0; length < file.size() - 1; ++length) {
        const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_EQ(read(cut), std::nullopt) << length;
    }
    tessaly_test::LogCapture log;
    Bytes huge = file;
    putLittle32(huge, dataAt + 4, 0xffffffffU);
    EXPECT_EQ(read(huge), std::nullopt);
    Bytes hugeFormat = file;
    putLittle32(hugeFormat, kFmtAt + 4, 0xfffffff0U);
    EXPECT_EQ(read(hugeFormat), std::nullopt);
    Bytes shortFormat = withChunk(file, kFmtAt, "fmt ", Bytes(14, 0));
    EXPECT_EQ(read(shortFormat), std::nullopt);
    Bytes notWave = file;
    notWave[8] = 'A';
    EXPECT_EQ(read(notWave), std::nullopt);
    // A RIFF size that ends the form before "data" hides it.
    Bytes shortForm = file;
    putLittle32(shortForm, 4, static_cast<std::uint32_t>(dataAt - 8));
    EXPECT_EQ(read(shortForm), std::nullopt);
    // One that ends it before its first chunk leaves nothing to walk.
    putLittle32(shortForm, 4, 1);
    EXPECT_EQ(read(shortForm), std::nullopt);
    EXPECT_EQ(MMIO::getWaveFileData(dir_.file("missing.wav"), 0), std::nullopt);

    const std::string text = log.text();
    for (const char* line : {"Failed to get data chunk data.\n", "Failed to get format chunk data.\n",
                             "Invalid format chunk data size=14.\n", "Failed to get wave chunk.\n"}) {
        EXPECT_NE(text.find(std::string("MMIO::getWaveFileData. ") + line), std::string::npos) << line << text;
    }
}
