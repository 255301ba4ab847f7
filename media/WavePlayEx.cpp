#include "media/WavePlayEx.h"

#include <algorithm>
#include <cstring>

#include "kel_util/Log.h"
#include "media/WaveFormat.h"

using kel_util::logPrint;

bool WavePlayEx::startPlay(int codec, int bufferCount, int bufferMs) {
    std::lock_guard<std::mutex> guard(mutex_);
    WaveFormat format;
    if (!format.set(codec)) {
        logPrint(kel_util::MIN, "WavePlayEx::startPlay. Invalid CODEC = %d.\n", codec);
        return false;
    }
    if (set_.isOpen()) return true;
    const int bytes = format.bytesForMs(bufferMs);
    if (bytes < 1 || bufferCount < 1) {
        logPrint(kel_util::MIN, "WavePlayEx::startPlay. Invalid PlayUnitMSec = %d.\n", bufferMs);
        return false;
    }
    try {
        set_.open(factory_, AudioDirection::Playback, *this, bufferCount, static_cast<std::size_t>(bytes));
    } catch (const WaveException& e) {
        logPrint(kel_util::MIN, "WavePlayEx::startPlay. Failed to open WavePlay, WaveException: [%s].\n",
                 e.toString().c_str());
        return false;
    }
    next_ = 0;
    logPrint(kel_util::DET, "WavePlayEx::startPlay. Playing on %s.\n", set_.device().name().c_str());
    return true;
}

void WavePlayEx::stopPlay() {
    std::lock_guard<std::mutex> guard(mutex_);
    dataPlay_ = false;
    set_.stopLogged("WavePlayEx::_stopPlay. Failed to clean WavePlay, WaveException: [%s].\n");
}

bool WavePlayEx::isPlaying() {
    std::lock_guard<std::mutex> guard(mutex_);
    return set_.isOpen();
}

void WavePlayEx::setReceiveData(const std::uint8_t* data, std::size_t length) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!set_.isOpen() || dataPlay_) return;
    const std::size_t piece = set_.buffer(0).capacity();
    while (length >= piece) {
        const int index = nextFreeLocked();
        if (index < 0) {
            logPrint(kel_util::DBG, "WavePlayEx::setReceiveData. No Free wave buffer, deleted %d bytes.\n",
                     static_cast<int>(length));
            return;
        }
        AudioBuffer& buffer = set_.buffer(index);
        std::memcpy(buffer.data(), data, piece);
        buffer.setLength(piece);
        writeLocked(buffer, "setReceiveData");
        data += piece;
        length -= piece;
    }
    if (length > 0) {
        logPrint(kel_util::DBG, "WavePlayEx::setReceiveData. Left data length=%d.\n", static_cast<int>(length));
    }
}

int WavePlayEx::nextFreeLocked() {
    for (int tried = 0; tried < set_.count(); ++tried) {
        const int index = (next_ + tried) % set_.count();
        if (set_.buffer(index).isDone()) {
            next_ = (index + 1) % set_.count();
            return index;
        }
    }
    return -1;
}

bool WavePlayEx::playData(const std::uint8_t* data, std::size_t length) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!set_.isOpen() || data == nullptr || length == 0) return false;
    data_.assign(data, data + length);
    dataOffset_ = 0;
    dataPlay_ = true;
    try {
        // Received audio still queued gives way at once; the events of the buffers it returns
        // find them refilled below and pass.
        set_.device().reset();
    } catch (const WaveException& e) {
        logPrint(kel_util::MIN, "WavePlayEx::playData. Failed to reset WavePlay, WaveException: [%s].\n",
                 e.toString().c_str());
        return false;
    }
    for (int i = 0; i < set_.count(); ++i) {
        if (set_.buffer(i).isDone()) writeDataLocked(set_.buffer(i));
    }
    return true;
}

void WavePlayEx::stopDataPlay() {
    std::lock_guard<std::mutex> guard(mutex_);
    dataPlay_ = false;
}

void WavePlayEx::onBufferDone(AudioBuffer& buffer) {
    const int index = set_.indexOf(buffer);
    if (index >= 0 && !poster_.postDeviceEvent(DeviceEventPoster::WAVEOUTDONE, index, set_.generation())) {
        logPrint(kel_util::MIN, "WavePlayEx::onWaveOutDone. Failed to set event.\n");
    }
}

void WavePlayEx::onEventWaveOutDone(int bufferIndex, std::uint32_t generation) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!dataPlay_ || !set_.isCurrent(generation, bufferIndex)) return;
    AudioBuffer& buffer = set_.buffer(bufferIndex);
    // Refilled already by playData, or taken by received audio before data play began.
    if (!buffer.isDone()) return;
    writeDataLocked(buffer);
}

void WavePlayEx::writeDataLocked(AudioBuffer& buffer) {
    std::size_t filled = 0;
    while (filled < buffer.capacity()) {
        const std::size_t n = std::min(buffer.capacity() - filled, data_.size() - dataOffset_);
        std::memcpy(buffer.data() + filled, data_.data() + dataOffset_, n);
        filled += n;
        dataOffset_ = (dataOffset_ + n) % data_.size();
    }
    buffer.setLength(filled);
    writeLocked(buffer, "playData");
}

void WavePlayEx::writeLocked(AudioBuffer& buffer, const char* where) {
    try {
        set_.device().add(buffer);
    } catch (const WaveException& e) {
        logPrint(kel_util::MIN, "WavePlayEx::%s. Failed to write wave buffer, WaveException: [%s].\n", where,
                 e.toString().c_str());
    }
}
