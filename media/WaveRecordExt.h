// The engine's recorder: a capture device with its ring of record buffers. Each filled buffer
// becomes a WAVEINDATA event; the worker serving it hands the bytes to the data sink (the
// engine, which feeds them to the sender) and gives the buffer back to the device.
//
// Threads: start and stop from the engine's callers; onEventWaveInData on the event workers;
// the device callback on the device's thread. The sink runs under the recorder's lock.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "media/DeviceEventPoster.h"
#include "media/WaveBufferSet.h"

class WaveRecordExt : private AudioDeviceListener {
public:
    using DataSink = std::function<void(const std::uint8_t* data, std::size_t length)>;

    // factory and poster must outlive the recorder.
    WaveRecordExt(const AudioDeviceFactory& factory, DeviceEventPoster& poster, DataSink sink)
        : factory_(factory), poster_(poster), sink_(std::move(sink)) {}
    ~WaveRecordExt() override { stopRecording(); }

    // Records into bufferCount buffers of bufferMs each; nothing when already recording so.
    bool startRecording(int codec, int bufferMs, int bufferCount);
    void stopRecording();
    bool isRecording();

    void onEventWaveInData(int bufferIndex, std::uint32_t generation);

private:
    void onBufferDone(AudioBuffer& buffer) override;
    void stopLocked();

    const AudioDeviceFactory& factory_;
    DeviceEventPoster& poster_;
    DataSink sink_;
    std::mutex mutex_;  // guards everything below
    WaveBufferSet set_;
    int codec_ = -1;
    int bufferMs_ = 0;
};
