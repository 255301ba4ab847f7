// A sound device without sound: every buffer takes its play time on the monotonic clock, as a
// sound card would, but playback discards the bytes and capture records µ-law silence (0xFF).
// The phone uses it when no sound card opens.
#pragma once

#include "media/ThreadedAudioDevice.h"

class NullAudioDevice : public ThreadedAudioDevice {
public:
    static constexpr std::uint8_t silence = 0xFF;

    explicit NullAudioDevice(AudioDirection direction) : ThreadedAudioDevice(direction, "null") {}
    ~NullAudioDevice() override { close(); }

private:
    void openDevice() override {}
    void closeDevice() noexcept override {}
    std::size_t transfer(AudioBuffer& buffer) override;
};
