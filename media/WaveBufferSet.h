// One opened sound device with its buffers, as the engine's recorder and player hold them.
//
// Device events name a buffer by its index and the set's generation, never by pointer: every
// open starts a new generation, so an event that was queued before a stop and a fresh start
// finds a generation that is no longer current and is ignored, and cannot touch a buffer that
// has been freed or belongs to another open.
//
// Threads: open, stop, the accessors and isCurrent from the owner's callers and event workers,
// serialised by the owner's lock; indexOf and generation also from the device's callback,
// which runs only between open and stop while the buffers do not change.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/AudioDeviceFactory.h"

class WaveBufferSet {
public:
    // Stop polls this often, this many times, for the device to give back every buffer.
    static constexpr std::chrono::milliseconds kStopPoll{100};
    static constexpr int kStopPolls = 30;

    ~WaveBufferSet();

    // Opens a device of direction with count prepared buffers of bytes each (not added).
    // Throws WaveException; nothing stays open then.
    void open(const AudioDeviceFactory& factory, AudioDirection direction, AudioDeviceListener& listener, int count,
              std::size_t bytes);
    // Resets the device, waits until every buffer is back, unprepares and frees them and
    // closes the device. Throws WaveException "join timeout." when buffers stay out; the
    // device and its buffers are then set aside, never freed while the device may use them.
    void stop();
    // stop, a failure logged at level 2 with failureFormat, whose one %s takes the exception.
    void stopLogged(const char* failureFormat) noexcept;

    bool isOpen() const noexcept { return device_ != nullptr; }
    AudioDevice& device() { return *device_; }
    int count() const noexcept { return static_cast<int>(buffers_.size()); }
    AudioBuffer& buffer(int index) { return *buffers_[static_cast<std::size_t>(index)]; }
    // -1 for a buffer not of this set.
    int indexOf(const AudioBuffer& buffer) const noexcept;

    std::uint32_t generation() const noexcept { return generation_.load(std::memory_order_acquire); }
    // Open, of this generation, and index names one of its buffers.
    bool isCurrent(std::uint32_t generation, int index) const noexcept;

private:
    struct SetAside {
        std::unique_ptr<AudioDevice> device;
        std::vector<std::unique_ptr<AudioBuffer>> buffers;
    };

    bool waitForBuffers() const;
    void release() noexcept;

    std::unique_ptr<AudioDevice> device_;
    std::vector<std::unique_ptr<AudioBuffer>> buffers_;
    std::atomic<std::uint32_t> generation_{0};
    std::vector<SetAside> setAside_;
};
