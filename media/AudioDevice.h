// A sound device opened in one direction for 8 kHz mono µ-law, driven with fixed-size buffers
// that come back through a callback when they have been recorded into or played:
//
//   open(listener) -> prepare(buffer)... -> add(buffer)... -> start() (capture)
//   ... listener.onBufferDone(buffer) on the device's thread, the buffer may be added again ...
//   reset() (every queued buffer comes back) -> unprepare(buffer)... -> close()
//
// A playback buffer plays as soon as it is added; a capture device records into the queued
// buffers from start() until reset(). Back ends: AlsaAudioDevice (a sound card),
// NullAudioDevice, WavFileAudioDevice, and StuckAudioDevice for tests.
//
// Errors throw WaveException with the back end's text. Threads: the operations may be called
// from any thread but not concurrently on one device, and reset and close never from the
// device's own callback; the callback may call add.
#pragma once

#include "media/AudioBuffer.h"
#include "media/WaveException.h"

#include <chrono>
#include <cstddef>
#include <string>

enum class AudioDirection { Capture, Playback };

class AudioDeviceListener {
public:
    virtual ~AudioDeviceListener() = default;
    // On the device's thread, once for each add: the buffer has been recorded into (its length
    // is what was recorded) or played, or reset or close returned it. Should only hand the
    // buffer on: the device waits for the callback before it goes on.
    virtual void onBufferDone(AudioBuffer& buffer) = 0;
};

class AudioDevice {
public:
    // Bytes per second of 8 kHz mono µ-law; one byte per sample.
    static constexpr std::size_t bytesPerSecond = 8000;
    // The play time of n bytes.
    static constexpr std::chrono::microseconds duration(std::size_t bytes) {
        return std::chrono::microseconds(static_cast<long long>(bytes) * 1000000 / bytesPerSecond);
    }

    virtual ~AudioDevice() = default;
    AudioDevice(const AudioDevice&) = delete;
    AudioDevice& operator=(const AudioDevice&) = delete;

    AudioDirection direction() const noexcept { return direction_; }
    // The back end and its device, for log lines ("alsa:default", "null", ...).
    const std::string& name() const noexcept { return name_; }
    bool isOpen() const noexcept { return open_; }

    // Opens the device; the listener must outlive the device's open time.
    void open(AudioDeviceListener& listener);
    // Makes a buffer usable with add; refused for an empty or a queued buffer.
    void prepare(AudioBuffer& buffer);
    // Refused while the buffer is queued ("still queued").
    void unprepare(AudioBuffer& buffer);
    // Queues a prepared buffer that is not queued: capture records into it, playback plays its
    // first length() bytes.
    void add(AudioBuffer& buffer);
    // Capture: starts recording into the queued buffers. Playback: nothing to do.
    void start();
    // Stops: every queued buffer is returned through the callback (a capture buffer with what it
    // holds; a buffer cut short plays only in part), and playback drops what the device still
    // holds. Returns once the callbacks have run. Capture needs start() again.
    void reset();
    // Resets and closes; the device may be opened again. Never throws; harmless when closed.
    void close() noexcept;

protected:
    AudioDevice(AudioDirection direction, std::string name) : direction_(direction), name_(std::move(name)) {}

    // The back end. doOpen throws WaveException; doClose never throws.
    virtual void doOpen(AudioDeviceListener& listener) = 0;
    virtual void doAdd(AudioBuffer& buffer) = 0;
    virtual void doStart() = 0;
    virtual void doReset() = 0;
    virtual void doClose() noexcept = 0;

    // For back ends: marks a buffer returned and tells the listener.
    static void complete(AudioBuffer& buffer, AudioDeviceListener& listener);

private:
    void requireOpen(const char* operation) const;

    AudioDirection direction_;
    std::string name_;
    bool open_ = false;
};
