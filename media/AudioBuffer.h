// One buffer of 8 kHz mono µ-law bytes that a sound device records into or plays from
// (the device-neutral form of a wave header).
//
// The owner allocates it, prepares it on a device, adds it, and may touch its bytes again only
// once isDone() is true (after the device's buffer-done callback, or after reset or close).
// The flags are atomics so that an owner may poll isDone() from another thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

class AudioBuffer {
public:
    explicit AudioBuffer(std::size_t capacity) : data_(capacity) {}
    AudioBuffer(const AudioBuffer&) = delete;
    AudioBuffer& operator=(const AudioBuffer&) = delete;

    std::uint8_t* data() noexcept { return data_.data(); }
    const std::uint8_t* data() const noexcept { return data_.data(); }
    std::size_t capacity() const noexcept { return data_.size(); }

    // Playback: the bytes to play, set by the owner before add (at most capacity()).
    // Capture: the bytes recorded, set by the device before the buffer is done.
    std::size_t length() const noexcept { return length_.load(std::memory_order_acquire); }
    void setLength(std::size_t length) noexcept { length_.store(length, std::memory_order_release); }

    bool isPrepared() const noexcept { return prepared_.load(std::memory_order_acquire); }
    // Added and not yet returned by the device.
    bool isQueued() const noexcept { return queued_.load(std::memory_order_acquire); }
    // Returned by the device since it was last added (true before the first add).
    bool isDone() const noexcept { return done_.load(std::memory_order_acquire); }

private:
    friend class AudioDevice;

    std::vector<std::uint8_t> data_;
    std::atomic<std::size_t> length_{0};
    std::atomic<bool> prepared_{false};
    std::atomic<bool> queued_{false};
    std::atomic<bool> done_{true};
};
