#include "media/TonePlayer.h"

#include "media/MulawWavReader.h"
#include "media/MulawWavWriter.h"

#include "tests/kel_util/Waiting.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using tessaly_test::TempDir;

namespace {

std::vector<std::uint8_t> recording(const std::string& path) {
    try {
        return MulawWavReader::read(path);
    } catch (const WaveException&) {
        return {};
    }
}

}  // namespace

// The tone is played over and over without a gap through the chosen playback device (here a
// WAV file that records what is played), and stops at once.
TEST(TonePlayerTest, LoopsTheToneUntilStopped) {
    TempDir dir;
    std::vector<std::uint8_t> tone(300);
    for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<std::uint8_t>(i * 3 + 1);
    MulawWavWriter writer;
    writer.open(dir.file("ring.wav"));
    writer.append(tone.data(), tone.size());
    writer.close();
    const AudioDeviceFactory factory(*AudioDeviceChoice::parse("file:unused.wav," + dir.file("out.wav")));

    TonePlayer player(factory);
    EXPECT_FALSE(player.play(dir.file("missing.wav")));
    EXPECT_EQ(player.playing(), "");
    ASSERT_TRUE(player.play(dir.file("ring.wav")));
    EXPECT_TRUE(player.play(dir.file("ring.wav")));  // already playing: goes on
    EXPECT_TRUE(kel_test::eventually([&] { return recording(dir.file("out.wav")).size() >= 1600; }));
    player.stop();
    EXPECT_EQ(player.playing(), "");

    const auto played = recording(dir.file("out.wav"));
    ASSERT_GE(played.size(), 1600u);
    EXPECT_EQ(played.size() % TonePlayer::bufferBytes, 0u);
    for (std::size_t i = 0; i < played.size(); ++i) {
        ASSERT_EQ(played[i], tone[i % tone.size()]) << i;
    }
}
