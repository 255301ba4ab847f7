#include "media/AudioDeviceFactory.h"

#include "AudioTestSupport.h"

#include <gtest/gtest.h>

using Kind = AudioDeviceChoice::Kind;

TEST(AudioDeviceChoiceTest, ReadsEachFormAndRefusesTheRest) {
    struct Case {
        const char* text;
        Kind kind;
        const char* detail;  // the PCM, or in and out file joined by "|"
        const char* written;
    };
    for (const Case& c : std::vector<Case>{{"alsa", Kind::Alsa, "default", "alsa"},
                                           {"ALSA", Kind::Alsa, "default", "alsa"},
                                           {"alsa:hw:1,0", Kind::Alsa, "hw:1,0", "alsa:hw:1,0"},
                                           {"null", Kind::Null, "", "null"},
                                           {"file:in.wav,out.wav", Kind::File, "in.wav|out.wav", "file:in.wav,out.wav"},
                                           {"file:/a b/in.wav,/c/o,ut.wav", Kind::File, "/a b/in.wav|/c/o,ut.wav",
                                            "file:/a b/in.wav,/c/o,ut.wav"}}) {
        const auto choice = AudioDeviceChoice::parse(c.text);
        ASSERT_TRUE(choice) << c.text;
        EXPECT_EQ(choice->kind, c.kind) << c.text;
        const std::string detail = c.kind == Kind::File ? choice->inFile + "|" + choice->outFile
                                   : c.kind == Kind::Alsa ? choice->pcmName
                                                          : "";
        EXPECT_EQ(detail, c.detail) << c.text;
        EXPECT_EQ(choice->toString(), c.written);
    }
    for (const char* bad : {"", "alsa:", "nul", "null ", "file:", "file:in.wav", "file:,out.wav", "file:in.wav,",
                            "wav:in.wav,out.wav", "stuck"}) {
        EXPECT_FALSE(AudioDeviceChoice::parse(bad)) << bad;
    }
    EXPECT_TRUE(AudioDeviceChoice::parse("stuck", true));
}

// The environment wins over the setting unless it cannot be read; ALSA's null PCM opens on
// any machine, so an ALSA choice of it is kept without a status text.
TEST(AudioDeviceSelectionTest, EnvironmentOverridesTheSetting) {
    EXPECT_EQ(AudioDeviceSelection::choose("null", "file:a.wav,b.wav").factory.choice().kind, Kind::File);
    EXPECT_EQ(AudioDeviceSelection::choose("null", "").factory.choice().kind, Kind::Null);
    EXPECT_EQ(AudioDeviceSelection::choose("null", "bogus").factory.choice().kind, Kind::Null);
    const auto alsa = AudioDeviceSelection::choose("null", "alsa:null");
    EXPECT_EQ(alsa.factory.choice().pcmName, "null");
    EXPECT_EQ(alsa.status, "");

    // The stuck device, for the engine's time-out tests, is there through the environment only.
    const auto stuck = AudioDeviceSelection::choose("stuck", "stuck");
    EXPECT_EQ(stuck.factory.choice().kind, Kind::Stuck);
    auto device = stuck.factory.create(AudioDirection::Playback);
    media_test::RecordingListener listener;
    device->open(listener);
    auto buffers = media_test::prepareBuffers(*device, 1, 80);
    device->add(*buffers[0]);
    device->reset();
    EXPECT_EQ(listener.count(), 0u);
}
