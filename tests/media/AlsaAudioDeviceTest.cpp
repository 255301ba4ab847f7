#include "media/AlsaAudioDevice.h"
#include "media/AudioDeviceFactory.h"

#include "AudioTestSupport.h"
#include "kel_util/Log.h"
#include "kel_util/Logger.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using media_test::prepareBuffers;
using media_test::RecordingListener;
using tessaly_test::readFile;
using tessaly_test::TempDir;
using tessaly_test::writeFile;

namespace {

const std::string testConfig = TESSALY_TEST_DATA_DIR "/asound-test.conf";

// Plays the buffers through the PCM and closes it once every buffer is back.
void playAll(AlsaAudioDevice& device, const std::vector<std::unique_ptr<AudioBuffer>>& buffers,
             RecordingListener& listener) {
    for (const auto& buffer : buffers) device.add(*buffer);
    ASSERT_TRUE(listener.waitForCount(buffers.size()));
    device.close();
}

}  // namespace

// ALSA's "null" PCM of the system configuration plays and records without a card.
TEST(AlsaAudioDeviceTest, NullPcmPlaysAndRecords) {
    for (AudioDirection direction : {AudioDirection::Playback, AudioDirection::Capture}) {
        AlsaAudioDevice device(direction, "null");
        RecordingListener listener;
        device.open(listener);
        EXPECT_FALSE(device.convertsToLinear());
        auto buffers = prepareBuffers(device, 3, 800);
        for (auto& buffer : buffers) device.add(*buffer);
        device.start();
        ASSERT_TRUE(listener.waitForCount(3));
        device.close();
        for (auto& buffer : buffers) EXPECT_EQ(buffer->length(), 800u);
    }
}

// The file plugin writes what reaches the card: the µ-law bytes as played, and on a PCM that
// takes linear samples only, our conversion of them.
TEST(AlsaAudioDeviceTest, FilePluginHoldsWhatWasPlayed) {
    TempDir dir;
    for (bool linear : {false, true}) {
        const std::string out = dir.file(linear ? "linear.raw" : "mulaw.raw");
        AlsaAudioDevice device(AudioDirection::Playback, (linear ? "tessaly_linear:'" : "tessaly_record:'") + out + "'",
                               testConfig);
        RecordingListener listener;
        device.open(listener);
        EXPECT_EQ(device.convertsToLinear(), linear);
        auto buffers = prepareBuffers(device, 4, 800, 0x30);
        playAll(device, buffers, listener);
        const std::string expected = media_test::bytesOf(buffers);
        EXPECT_TRUE(readFile(out) == (linear ? media_test::linear(expected) : expected)) << out;
    }
}

// Capture gives what the file plugin reads, from µ-law bytes or, on a PCM that takes linear
// samples only, from samples our conversion turns back into the same bytes.
TEST(AlsaAudioDeviceTest, CaptureRecordsWhatTheFilePluginReads) {
    TempDir dir;
    std::string recorded(800, '\0');
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        const std::size_t value = i % 255;
        recorded[i] = static_cast<char>(value < 0x7F ? value : value + 1);  // each byte but minus zero
    }
    for (bool linear : {false, true}) {
        writeFile(dir.file("in.raw"), linear ? media_test::linear(recorded) : recorded);
        AlsaAudioDevice device(AudioDirection::Capture,
                               (linear ? "tessaly_linear_replay:'" : "tessaly_replay:'") + dir.file("in.raw") + "'",
                               testConfig);
        RecordingListener listener;
        device.open(listener);
        EXPECT_EQ(device.convertsToLinear(), linear);
        auto buffers = prepareBuffers(device, 2, 400);
        for (auto& buffer : buffers) device.add(*buffer);
        device.start();
        ASSERT_TRUE(listener.waitForCount(2));
        device.close();
        EXPECT_TRUE(media_test::bytesOf(buffers) == recorded) << linear;
    }
}

// Without a sound card "default" does not open: the error comes back as a WaveException, ALSA's
// own complaints go to the log and not to standard error, and the phone's choice falls back to
// the null device with a status text.
TEST(AlsaAudioDeviceTest, WithoutACardDefaultFailsCleanlyAndTheChoiceFallsBack) {
    std::string error;
    if (AlsaAudioDevice::probe("default", error)) GTEST_SKIP() << "this machine has a sound card";
    TempDir dir;
    kel_util::LogSettings log;
    log.level = kel_util::MIN;
    log.directory = dir.path();
    log.prefix = "audio";
    log.extension = ".log";
    log.fileSizeThreshold = 1L << 20;
    ASSERT_TRUE(kel_util::initLogging(log));

    testing::internal::CaptureStderr();
    AlsaAudioDevice device(AudioDirection::Playback, "default");
    RecordingListener listener;
    try {
        device.open(listener);
        ADD_FAILURE() << "default opened";
    } catch (const WaveException& e) {
        EXPECT_NE(e.toString().find("open default"), std::string::npos) << e.toString();
    }
    EXPECT_FALSE(device.isOpen());
    const AudioDeviceSelection selection = AudioDeviceSelection::choose("alsa", nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    kel_util::closeLogging();
    kel_util::setLogLevel(-1);
    const std::string logged = readFile(dir.file("audio0.log"));
    EXPECT_NE(logged.find("AlsaAudioDevice::onAlsaError."), std::string::npos);
    EXPECT_NE(logged.find("using the null audio device"), std::string::npos);

    EXPECT_EQ(selection.factory.choice().kind, AudioDeviceChoice::Kind::Null);
    EXPECT_EQ(selection.status, AudioDeviceSelection::noCardStatus);
    auto fallback = selection.factory.create(AudioDirection::Playback);
    fallback->open(listener);
    auto buffers = prepareBuffers(*fallback, 1, 80);
    fallback->add(*buffers[0]);
    EXPECT_TRUE(listener.waitForCount(1));
}
