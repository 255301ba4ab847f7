// Plays a ring or ring-back tone: a µ-law WAV file looped through a playback device until
// stopped, the way the phone sounds the tone of a ringing leg.
//
// Threads: play and stop from the logic thread; the refills run on the device's thread.
#pragma once

#include "media/AudioDeviceFactory.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TonePlayer : private AudioDeviceListener {
public:
    static constexpr int bufferCount = 4;
    static constexpr std::size_t bufferBytes = 800;  // 100 ms

    // factory must outlive the player.
    explicit TonePlayer(const AudioDeviceFactory& factory) : factory_(factory) {}
    ~TonePlayer() override { stop(); }
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

    // Starts looping the file; the tone already playing stops first, unless it is this file.
    // false, logged, when the file cannot be read (the tone then stays off) or no device opens.
    bool play(const std::string& file);
    // Ends the tone at once; harmless when none plays.
    void stop();
    // The file playing, empty when none.
    const std::string& playing() const noexcept { return file_; }

private:
    void onBufferDone(AudioBuffer& buffer) override;
    // Copies the next piece of the tone into buffer, wrapping at its end; holding mutex_.
    void fillLocked(AudioBuffer& buffer);
    void closeDevice() noexcept;

    const AudioDeviceFactory& factory_;
    std::string file_;
    std::unique_ptr<AudioDevice> device_;
    std::vector<std::unique_ptr<AudioBuffer>> buffers_;
    std::mutex mutex_;  // guards the tone, the position and stopping_ against the refills
    std::vector<std::uint8_t> tone_;
    std::size_t position_ = 0;
    bool stopping_ = false;
};
