// A sound device that takes buffers and never gives them back, not even on reset or close: a
// sound card whose driver hangs. Lets the engine's time-outs be tested. Its buffers stay queued,
// so they cannot be unprepared; the owner may only abandon them.
#pragma once

#include "media/AudioDevice.h"

class StuckAudioDevice : public AudioDevice {
public:
    explicit StuckAudioDevice(AudioDirection direction) : AudioDevice(direction, "stuck") {}
    ~StuckAudioDevice() override { close(); }

private:
    void doOpen(AudioDeviceListener&) override {}
    void doAdd(AudioBuffer&) override {}
    void doStart() override {}
    void doReset() override {}
    void doClose() noexcept override {}
};
