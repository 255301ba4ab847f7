#include "media/TonePlayer.h"

#include "kel_util/Log.h"
#include "media/MulawWavReader.h"

#include <algorithm>

bool TonePlayer::play(const std::string& file) {
    if (device_ && file == file_) return true;
    stop();
    std::vector<std::uint8_t> tone;
    try {
        tone = MulawWavReader::read(file);
    } catch (const WaveException& e) {
        kel_util::logPrint(kel_util::MIN, "TonePlayer::play. Failed to read tone, WaveException: [%s].\n",
                           e.toString().c_str());
        return false;
    }
    if (tone.empty()) {
        kel_util::logPrint(kel_util::MIN, "TonePlayer::play. No sound in %s.\n", file.c_str());
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(mutex_);
        tone_ = std::move(tone);
        position_ = 0;
        stopping_ = false;
    }
    try {
        device_ = factory_.create(AudioDirection::Playback);
        device_->open(*this);
        for (int i = 0; i < bufferCount; ++i) {
            buffers_.push_back(std::make_unique<AudioBuffer>(bufferBytes));
            AudioBuffer& buffer = *buffers_.back();
            device_->prepare(buffer);
            {
                std::lock_guard<std::mutex> guard(mutex_);
                fillLocked(buffer);
            }
            device_->add(buffer);
        }
    } catch (const WaveException& e) {
        kel_util::logPrint(kel_util::MIN, "TonePlayer::play. Failed to play %s, WaveException: [%s].\n", file.c_str(),
                           e.toString().c_str());
        closeDevice();
        return false;
    }
    file_ = file;
    kel_util::logPrint(kel_util::INF, "TonePlayer::play. Playing %s.\n", file.c_str());
    return true;
}

void TonePlayer::stop() {
    if (!device_) return;
    closeDevice();
    kel_util::logPrint(kel_util::INF, "TonePlayer::stop. Stopped %s.\n", file_.c_str());
    file_.clear();
}

void TonePlayer::closeDevice() noexcept {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;  // the buffers that close returns are not written again
    }
    if (device_) device_->close();
    device_.reset();
    buffers_.clear();
}

void TonePlayer::onBufferDone(AudioBuffer& buffer) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (stopping_) return;
    fillLocked(buffer);
    try {
        device_->add(buffer);
    } catch (const WaveException& e) {
        kel_util::logPrint(kel_util::MIN, "TonePlayer::onBufferDone. Failed to write tone, WaveException: [%s].\n",
                           e.toString().c_str());
    }
}

void TonePlayer::fillLocked(AudioBuffer& buffer) {
    std::size_t filled = 0;
    while (filled < buffer.capacity()) {
        const std::size_t n = std::min(buffer.capacity() - filled, tone_.size() - position_);
        std::copy_n(tone_.begin() + static_cast<std::ptrdiff_t>(position_), n, buffer.data() + filled);
        filled += n;
        position_ = (position_ + n) % tone_.size();
    }
    buffer.setLength(filled);
}
