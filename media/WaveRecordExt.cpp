#include "media/WaveRecordExt.h"

#include "kel_util/Log.h"
#include "media/WaveFormat.h"

using kel_util::logPrint;

bool WaveRecordExt::startRecording(int codec, int bufferMs, int bufferCount) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (set_.isOpen() && codec == codec_ && bufferMs == bufferMs_) return true;
    stopLocked();
    WaveFormat format;
    const int bytes = format.set(codec) ? format.bytesForMs(bufferMs) : 0;
    if (bytes < 1 || bufferCount < 1) {
        logPrint(kel_util::MIN, "WaveRecordExt::startRecording. Invalid CODEC = %d, BufferMSec = %d.\n", codec,
                 bufferMs);
        return false;
    }
    try {
        set_.open(factory_, AudioDirection::Capture, *this, bufferCount, static_cast<std::size_t>(bytes));
        for (int i = 0; i < set_.count(); ++i) set_.device().add(set_.buffer(i));
        set_.device().start();
    } catch (const WaveException& e) {
        logPrint(kel_util::MIN, "WaveRecordExt::startRecording. Failed to open WaveRecord, WaveException: [%s].\n",
                 e.toString().c_str());
        stopLocked();
        return false;
    }
    codec_ = codec;
    bufferMs_ = bufferMs;
    logPrint(kel_util::DET, "WaveRecordExt::startRecording. Recording on %s, BufferMSec=%d.\n",
             set_.device().name().c_str(), bufferMs);
    return true;
}

void WaveRecordExt::stopRecording() {
    std::lock_guard<std::mutex> guard(mutex_);
    stopLocked();
}

void WaveRecordExt::stopLocked() {
    codec_ = -1;
    set_.stopLogged("WaveRecordExt::_stopRecording. Failed to clean WaveRecord, WaveException: [%s].\n");
}

bool WaveRecordExt::isRecording() {
    std::lock_guard<std::mutex> guard(mutex_);
    return set_.isOpen();
}

void WaveRecordExt::onBufferDone(AudioBuffer& buffer) {
    const int index = set_.indexOf(buffer);
    if (index < 0) {
        logPrint(kel_util::MIN, "WaveRecordExt::onEventWaveInData. No WAVEHDR in WAVINDATA.\n");
        return;
    }
    if (!poster_.postDeviceEvent(DeviceEventPoster::WAVEINDATA, index, set_.generation())) {
        logPrint(kel_util::MIN, "WaveRecordExt::onWaveInData. Failed to set event.\n");
    }
}

void WaveRecordExt::onEventWaveInData(int bufferIndex, std::uint32_t generation) {
    std::lock_guard<std::mutex> guard(mutex_);
    // An event of an earlier open, or of this one after its stop began.
    if (!set_.isCurrent(generation, bufferIndex)) return;
    AudioBuffer& buffer = set_.buffer(bufferIndex);
    if (sink_ && buffer.length() > 0) sink_(buffer.data(), buffer.length());
    try {
        set_.device().add(buffer);
    } catch (const WaveException& e) {
        logPrint(kel_util::MIN,
                 "WaveRecordExt::onEventWaveInData. Failed to set wave buffer for recording. WaveException: [%s].\n",
                 e.toString().c_str());
    }
}
