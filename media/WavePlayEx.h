// The engine's player: a playback device with its play buffers. Received audio is cut into
// buffer-sized pieces written to the next free buffer in turn. Local data play (a DTMF key
// heard by the operator) takes the device over: every buffer that comes back done (a
// WAVEOUTDONE event) is refilled with the next piece of the looping data and written again.
//
// Threads: every operation from the engine's callers, setReceiveData from the receiver
// thread, onEventWaveOutDone from the event workers; the device callback on the device's
// thread only posts.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "media/DeviceEventPoster.h"
#include "media/WaveBufferSet.h"

class WavePlayEx : private AudioDeviceListener {
public:
    // factory and poster must outlive the player.
    WavePlayEx(const AudioDeviceFactory& factory, DeviceEventPoster& poster) : factory_(factory), poster_(poster) {}
    ~WavePlayEx() override { stopPlay(); }

    // Codec 0 only; nothing when already playing.
    bool startPlay(int codec, int bufferCount, int bufferMs);
    void stopPlay();
    bool isPlaying();

    // Queues received audio; whole buffers only, dropped while data play is on.
    void setReceiveData(const std::uint8_t* data, std::size_t length);
    // Plays data locally, looping, in place of received audio until stopDataPlay.
    bool playData(const std::uint8_t* data, std::size_t length);
    void stopDataPlay();

    void onEventWaveOutDone(int bufferIndex, std::uint32_t generation);

private:
    void onBufferDone(AudioBuffer& buffer) override;
    // The next free buffer from the round-robin index on, -1 when none; holding mutex_.
    int nextFreeLocked();
    // Fills buffer with the next piece of the data and writes it; holding mutex_.
    void writeDataLocked(AudioBuffer& buffer);
    void writeLocked(AudioBuffer& buffer, const char* where);

    const AudioDeviceFactory& factory_;
    DeviceEventPoster& poster_;
    std::mutex mutex_;  // guards everything below
    WaveBufferSet set_;
    int next_ = 0;
    bool dataPlay_ = false;
    std::vector<std::uint8_t> data_;
    std::size_t dataOffset_ = 0;
};
