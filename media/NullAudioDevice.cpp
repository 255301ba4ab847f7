#include "media/NullAudioDevice.h"

#include <cstring>

std::size_t NullAudioDevice::transfer(AudioBuffer& buffer) {
    const bool capture = direction() == AudioDirection::Capture;
    const std::size_t bytes = capture ? buffer.capacity() : buffer.length();
    if (!pace(duration(bytes))) return 0;
    if (capture) std::memset(buffer.data(), silence, bytes);
    return bytes;
}
