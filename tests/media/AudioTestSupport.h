// Helpers for the sound device tests: a listener that records every returned buffer, and
// buffer sets that are prepared and added in one go.
#pragma once

#include "media/AudioDevice.h"
#include "media/G711.h"
#include "tests/kel_util/Waiting.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace media_test {

// Runs a shell command (sox, the peer that reads and writes WAV files here) and returns its
// standard output.
inline std::string run(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char chunk[4096];
        std::size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
        ::pclose(pipe);
    }
    return out;
}

struct Returned {
    AudioBuffer* buffer;
    std::chrono::steady_clock::time_point when;
    std::string bytes;  // what the buffer held when it came back (capture: what was recorded)
};

// Records every buffer done, in order; optionally adds it again, as an engine does.
class RecordingListener : public AudioDeviceListener {
public:
    void onBufferDone(AudioBuffer& buffer) override {
        const auto now = std::chrono::steady_clock::now();
        const std::string bytes(reinterpret_cast<const char*>(buffer.data()), buffer.length());
        monitor.update([&] { returned.push_back({&buffer, now, bytes}); });
        if (device != nullptr && readd) device->add(buffer);
    }
    std::size_t count() {
        std::lock_guard<std::mutex> guard(monitor.mutex());
        return returned.size();
    }
    bool waitForCount(std::size_t n) {
        return monitor.waitFor([&] { return returned.size() >= n; });
    }
    std::map<AudioBuffer*, int> timesReturned() {
        std::lock_guard<std::mutex> guard(monitor.mutex());
        std::map<AudioBuffer*, int> times;
        for (const Returned& r : returned) ++times[r.buffer];
        return times;
    }

    kel_test::Monitor monitor;
    std::vector<Returned> returned;  // guarded by monitor
    AudioDevice* device = nullptr;   // set, with readd, to add each buffer again
    bool readd = false;
};

// count buffers of bytes each, prepared on device; playback buffers hold fill + i and are full.
inline std::vector<std::unique_ptr<AudioBuffer>> prepareBuffers(AudioDevice& device, int count, std::size_t bytes,
                                                                std::uint8_t fill = 0) {
    std::vector<std::unique_ptr<AudioBuffer>> buffers;
    for (int i = 0; i < count; ++i) {
        auto buffer = std::make_unique<AudioBuffer>(bytes);
        for (std::size_t j = 0; j < bytes; ++j) buffer->data()[j] = static_cast<std::uint8_t>(fill + i + j);
        buffer->setLength(device.direction() == AudioDirection::Playback ? bytes : 0);
        device.prepare(*buffer);
        buffers.push_back(std::move(buffer));
    }
    return buffers;
}

inline std::string bytesOf(const AudioBuffer& buffer) {
    return std::string(reinterpret_cast<const char*>(buffer.data()), buffer.length());
}

inline std::string bytesOf(const std::vector<std::unique_ptr<AudioBuffer>>& buffers) {
    std::string all;
    for (const auto& buffer : buffers) all += bytesOf(*buffer);
    return all;
}

// µ-law bytes as 16-bit little-endian linear samples.
inline std::string linear(const std::string& mulaw) {
    std::string out;
    for (char byte : mulaw) {
        const auto sample = static_cast<std::uint16_t>(ulawToLinear(static_cast<std::uint8_t>(byte)));
        out += {static_cast<char>(sample & 0xFF), static_cast<char>(sample >> 8)};
    }
    return out;
}

}  // namespace media_test
