#include "media/MulawWavReader.h"
#include "media/MulawWavWriter.h"
#include "media/WavFileAudioDevice.h"

#include "AudioTestSupport.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>

using media_test::prepareBuffers;
using media_test::RecordingListener;
using tessaly_test::readFile;
using tessaly_test::TempDir;
using tessaly_test::writeFile;

namespace {

using media_test::run;

// The samples as sox reads them, written back as µ-law (sox writes 0x7F, minus zero, as 0xFF)
// or as 16-bit linear samples.
std::string soxSamples(const std::string& wav) { return run("sox '" + wav + "' -t raw -"); }
std::string soxLinear(const std::string& wav) {
    return run("sox '" + wav + "' -t raw -e signed-integer -b 16 -L -");
}

std::string captured(RecordingListener& listener) {
    std::lock_guard<std::mutex> guard(listener.monitor.mutex());
    std::string all;
    for (const auto& r : listener.returned) all += r.bytes;
    return all;
}

}  // namespace

// What playback records is a file sox takes for 8 kHz mono µ-law, holding exactly the bytes
// played (every byte value, in linear form as sox decodes them); an odd length checks the chunk
// padding.
TEST(WavFileAudioDeviceTest, PlaybackRecordsAWavThatSoxReadsBack) {
    TempDir dir;
    const std::string out = dir.file("out.wav");
    WavFileAudioDevice device(AudioDirection::Playback, out, WavFileAudioDevice::Pacing::Unpaced);
    RecordingListener listener;
    device.open(listener);
    auto buffers = prepareBuffers(device, 3, 801, 0x20);
    for (auto& buffer : buffers) device.add(*buffer);
    ASSERT_TRUE(listener.waitForCount(3));
    device.close();

    EXPECT_EQ(run("sox --i -r '" + out + "'"), "8000\n");
    EXPECT_EQ(run("sox --i -c '" + out + "'"), "1\n");
    EXPECT_EQ(run("sox --i -e '" + out + "'"), "u-law\n");
    const std::string played = media_test::bytesOf(buffers);
    EXPECT_TRUE(soxLinear(out) == media_test::linear(played));
    const auto read = MulawWavReader::read(out);
    EXPECT_TRUE(std::string(read.begin(), read.end()) == played);
}

// Capture records the file sox wrote (with its "fact" chunk) over and over, or once and then
// µ-law silence.
TEST(WavFileAudioDeviceTest, CaptureRecordsTheFileLoopingOrThenSilence) {
    TempDir dir;
    const std::string in = dir.file("in.wav");
    run("sox -n -r 8000 -c 1 -e u-law '" + in + "' synth 0.03 sine 440");
    const std::string samples = soxSamples(in);
    ASSERT_EQ(samples.size(), 240u);
    for (auto atEnd : {WavFileAudioDevice::AtEnd::Loop, WavFileAudioDevice::AtEnd::Silence}) {
        WavFileAudioDevice device(AudioDirection::Capture, in, WavFileAudioDevice::Pacing::Unpaced, atEnd);
        RecordingListener listener;
        listener.device = &device;
        listener.readd = true;
        device.open(listener);
        auto buffers = prepareBuffers(device, 2, 100);
        for (auto& buffer : buffers) device.add(*buffer);
        device.start();
        ASSERT_TRUE(listener.waitForCount(6));
        device.close();
        const std::string expected = atEnd == WavFileAudioDevice::AtEnd::Loop
                                         ? samples + samples + samples.substr(0, 120)
                                         : samples + std::string(360, '\xff');
        EXPECT_EQ(captured(listener).substr(0, 600), expected);
    }
}

TEST(MulawWavReaderTest, RefusesFilesThatAreNotMulawOrDoNotHold) {
    TempDir dir;
    const std::string good = dir.file("good.wav");
    run("sox -n -r 8000 -c 1 -e u-law '" + good + "' synth 0.01 sine 440");
    const std::string bytes = readFile(good);
    ASSERT_EQ(MulawWavReader::read(good).size(), 80u);

    const std::string pcm = dir.file("pcm.wav");
    run("sox -n -r 8000 -c 1 -b 16 -e signed-integer '" + pcm + "' synth 0.01 sine 440");
    const std::string alaw = dir.file("alaw.wav");
    run("sox -n -r 8000 -c 1 -e a-law '" + alaw + "' synth 0.01 sine 440");
    std::string longChunk = bytes;
    longChunk[longChunk.size() - 80 - 4] = '\x51';  // data chunk size 81, one byte more than there is
    std::string noData = bytes.substr(0, bytes.size() - 88);
    for (const auto& [name, content] : std::vector<std::pair<std::string, std::string>>{
             {"truncated", bytes.substr(0, 30)},
             {"longChunk", longChunk},
             {"noData", noData},
             {"notRiff", "RIFX" + bytes.substr(4)},
             {"empty", ""}}) {
        writeFile(dir.file(name), content);
        EXPECT_THROW(MulawWavReader::read(dir.file(name)), WaveException) << name;
    }
    for (const std::string& path : {pcm, alaw, dir.file("missing.wav"), dir.path()}) {
        EXPECT_THROW(MulawWavReader::read(path), WaveException) << path;
    }
    WavFileAudioDevice device(AudioDirection::Capture, pcm);
    RecordingListener listener;
    EXPECT_THROW(device.open(listener), WaveException);
    EXPECT_FALSE(device.isOpen());
}
