#include "media/WavFileAudioDevice.h"

#include "media/MulawWavReader.h"
#include "media/NullAudioDevice.h"

#include <algorithm>

WavFileAudioDevice::WavFileAudioDevice(AudioDirection direction, std::string path, Pacing pacing, AtEnd atEnd)
    : ThreadedAudioDevice(direction, "file:" + path), path_(std::move(path)), pacing_(pacing), atEnd_(atEnd) {}

void WavFileAudioDevice::openDevice() {
    if (direction() == AudioDirection::Capture) {
        source_ = MulawWavReader::read(path_);
        position_ = 0;
    } else {
        sink_.open(path_);
    }
}

void WavFileAudioDevice::closeDevice() noexcept {
    sink_.close();
    source_.clear();
}

std::size_t WavFileAudioDevice::transfer(AudioBuffer& buffer) {
    const bool capture = direction() == AudioDirection::Capture;
    const std::size_t bytes = capture ? buffer.capacity() : buffer.length();
    if (pacing_ == Pacing::RealTime && !pace(duration(bytes))) return 0;
    if (capture) {
        record(buffer);
    } else {
        sink_.append(buffer.data(), bytes);
    }
    return bytes;
}

void WavFileAudioDevice::record(AudioBuffer& buffer) {
    std::uint8_t* out = buffer.data();
    std::size_t left = buffer.capacity();
    while (left > 0) {
        if (position_ == source_.size() && atEnd_ == AtEnd::Loop) position_ = 0;
        const std::size_t n = std::min(left, source_.size() - position_);
        if (n == 0) break;
        out = std::copy_n(source_.begin() + static_cast<std::ptrdiff_t>(position_), n, out);
        position_ += n;
        left -= n;
    }
    std::fill_n(out, left, NullAudioDevice::silence);
}
