#include "media/AudioDevice.h"

#include "kel_util/Log.h"

void AudioDevice::requireOpen(const char* operation) const {
    if (!open_) throw WaveException(std::string(operation) + ": device not open");
}

void AudioDevice::open(AudioDeviceListener& listener) {
    if (open_) throw WaveException("open: " + name_ + " is open already");
    doOpen(listener);
    open_ = true;
    kel_util::logPrint(kel_util::INF, "AudioDevice::open. Opened %s for %s.\n", name_.c_str(),
                       direction_ == AudioDirection::Capture ? "capture" : "playback");
}

void AudioDevice::prepare(AudioBuffer& buffer) {
    requireOpen("prepare");
    if (buffer.capacity() == 0) throw WaveException("prepare: empty buffer");
    if (buffer.isQueued()) throw WaveException("prepare: still queued");
    buffer.prepared_.store(true, std::memory_order_release);
}

void AudioDevice::unprepare(AudioBuffer& buffer) {
    if (buffer.isQueued()) throw WaveException("unprepare: still queued");
    buffer.prepared_.store(false, std::memory_order_release);
}

void AudioDevice::add(AudioBuffer& buffer) {
    requireOpen("add");
    if (!buffer.isPrepared()) throw WaveException("add: buffer not prepared");
    if (buffer.isQueued()) throw WaveException("add: still queued");
    if (direction_ == AudioDirection::Playback && buffer.length() > buffer.capacity()) {
        throw WaveException("add: length beyond the buffer");
    }
    buffer.done_.store(false, std::memory_order_release);
    buffer.queued_.store(true, std::memory_order_release);
    try {
        doAdd(buffer);
    } catch (...) {
        buffer.queued_.store(false, std::memory_order_release);
        buffer.done_.store(true, std::memory_order_release);
        throw;
    }
}

void AudioDevice::start() {
    requireOpen("start");
    if (direction_ == AudioDirection::Capture) doStart();
}

void AudioDevice::reset() {
    requireOpen("reset");
    doReset();
}

void AudioDevice::close() noexcept {
    if (!open_) return;
    doClose();
    open_ = false;
    kel_util::logPrint(kel_util::INF, "AudioDevice::close. Closed %s.\n", name_.c_str());
}

void AudioDevice::complete(AudioBuffer& buffer, AudioDeviceListener& listener) {
    buffer.queued_.store(false, std::memory_order_release);
    buffer.done_.store(true, std::memory_order_release);
    try {
        listener.onBufferDone(buffer);
    } catch (const std::exception& e) {
        // The device thread must go on returning the other buffers.
        kel_util::logPrint(kel_util::MIN, "AudioDevice::complete. Buffer-done callback failed, %s.\n",
                           kel_util::describe(e).c_str());
    }
}
