// A sound device made of µ-law WAV files: capture records from a file (over and over, or once
// and then silence), playback records what is played into a file that each open starts anew.
// Paced, every buffer takes its play time as on a sound card; unpaced, buffers are done at
// once, which lets tests run as fast as the code under test.
#pragma once

#include "media/MulawWavWriter.h"
#include "media/ThreadedAudioDevice.h"

#include <cstdint>
#include <string>
#include <vector>

class WavFileAudioDevice : public ThreadedAudioDevice {
public:
    enum class Pacing { RealTime, Unpaced };
    enum class AtEnd { Loop, Silence };  // what capture gives once the file has been recorded

    // path: the file capture records from, or the file playback records to.
    WavFileAudioDevice(AudioDirection direction, std::string path, Pacing pacing = Pacing::RealTime,
                       AtEnd atEnd = AtEnd::Loop);
    ~WavFileAudioDevice() override { close(); }

private:
    void openDevice() override;
    void closeDevice() noexcept override;
    std::size_t transfer(AudioBuffer& buffer) override;
    void record(AudioBuffer& buffer);

    std::string path_;
    Pacing pacing_;
    AtEnd atEnd_;
    std::vector<std::uint8_t> source_;  // capture; the device thread's from open to close
    std::size_t position_ = 0;
    MulawWavWriter sink_;  // playback
};
