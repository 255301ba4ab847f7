#include "media/WaveBufferSet.h"

#include <algorithm>
#include <thread>

#include "kel_util/Log.h"

WaveBufferSet::~WaveBufferSet() {
    if (device_) {
        device_->close();
        if (!waitForBuffers()) setAside_.push_back({std::move(device_), std::move(buffers_)});
    }
    // A device set aside goes before its buffers.
    for (SetAside& aside : setAside_) aside.device.reset();
}

void WaveBufferSet::open(const AudioDeviceFactory& factory, AudioDirection direction, AudioDeviceListener& listener,
                         int count, std::size_t bytes) {
    generation_.fetch_add(1, std::memory_order_acq_rel);
    auto device = factory.create(direction);
    std::vector<std::unique_ptr<AudioBuffer>> buffers;
    for (int i = 0; i < count; ++i) buffers.push_back(std::make_unique<AudioBuffer>(bytes));
    device_ = std::move(device);
    buffers_ = std::move(buffers);
    try {
        device_->open(listener);
        for (auto& buffer : buffers_) device_->prepare(*buffer);
    } catch (const WaveException&) {
        release();
        throw;
    }
}

void WaveBufferSet::stop() {
    if (!device_) return;
    // From here on no event of this open is served.
    generation_.fetch_add(1, std::memory_order_acq_rel);
    try {
        device_->reset();
    } catch (const WaveException&) {
        // Closing below resets again and never throws; what counts is that the buffers come back.
    }
    if (!waitForBuffers()) {
        device_->close();
        setAside_.push_back({std::move(device_), std::move(buffers_)});
        device_.reset();
        buffers_.clear();
        throw WaveException("join timeout.");
    }
    release();
}

void WaveBufferSet::stopLogged(const char* failureFormat) noexcept {
    try {
        stop();
    } catch (const WaveException& e) {
        kel_util::logPrint(kel_util::MIN, failureFormat, e.toString().c_str());
    }
}

bool WaveBufferSet::waitForBuffers() const {
    for (int poll = 0;; ++poll) {
        if (std::all_of(buffers_.begin(), buffers_.end(), [](const auto& b) { return b->isDone(); })) return true;
        if (poll == kStopPolls) return false;
        std::this_thread::sleep_for(kStopPoll);
    }
}

void WaveBufferSet::release() noexcept {
    for (auto& buffer : buffers_) {
        try {
            if (buffer->isPrepared()) device_->unprepare(*buffer);
        } catch (const WaveException&) {
            // Closing the device below frees what it holds.
        }
    }
    device_->close();
    device_.reset();
    buffers_.clear();
}

int WaveBufferSet::indexOf(const AudioBuffer& buffer) const noexcept {
    for (std::size_t i = 0; i < buffers_.size(); ++i) {
        if (buffers_[i].get() == &buffer) return static_cast<int>(i);
    }
    return -1;
}

bool WaveBufferSet::isCurrent(std::uint32_t generation, int index) const noexcept {
    return device_ != nullptr && generation == this->generation() && index >= 0 && index < count();
}
