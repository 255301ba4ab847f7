#include "media/ThreadedAudioDevice.h"

#include "kel_util/Log.h"
#include "kel_util/Mutex.h"

using kel_util::ScopedLock;

ThreadedAudioDevice::ThreadedAudioDevice(AudioDirection direction, std::string name)
    : AudioDevice(direction, std::move(name)), clock_(kel_util::clockSource()), thread_(*this) {}

ThreadedAudioDevice::~ThreadedAudioDevice() = default;

void ThreadedAudioDevice::doOpen(AudioDeviceListener& listener) {
    openDevice();
    {
        ScopedLock guard(cond_);
        listener_ = &listener;
        queue_.clear();
        returning_.clear();
        started_ = direction() == AudioDirection::Playback;
        abort_ = failed_ = quit_ = false;
        paceRunning_ = false;
    }
    try {
        thread_.setName("Audio." + name());
        thread_.start();
    } catch (const kel_util::Throwable& e) {
        closeDevice();
        throw WaveException("open: no device thread", e.getCode());
    }
}

void ThreadedAudioDevice::doAdd(AudioBuffer& buffer) {
    ScopedLock guard(cond_);
    if (quit_) throw WaveException("add: device closing");
    if (failed_) throw WaveException("add: device failed, reset it");
    queue_.push_back(&buffer);
    cond_.notifyAll();
}

void ThreadedAudioDevice::doStart() {
    ScopedLock guard(cond_);
    started_ = true;
    cond_.notifyAll();
}

unsigned long ThreadedAudioDevice::requestResetLocked() {
    returning_.insert(returning_.end(), queue_.begin(), queue_.end());
    queue_.clear();
    abort_ = true;
    wake();
    cond_.notifyAll();
    return ++resetsAsked_;
}

void ThreadedAudioDevice::waitForReset(unsigned long ticket) {
    while (resetsDone_ < ticket) cond_.wait();
}

void ThreadedAudioDevice::doReset() {
    ScopedLock guard(cond_);
    if (direction() == AudioDirection::Capture) started_ = false;
    waitForReset(requestResetLocked());
}

void ThreadedAudioDevice::doClose() noexcept {
    try {
        {
            ScopedLock guard(cond_);
            quit_ = true;
            waitForReset(requestResetLocked());
        }
        thread_.join();
    } catch (const kel_util::Throwable& e) {
        kel_util::logPrint(kel_util::MIN, "ThreadedAudioDevice::close. Failed to stop %s, %s.\n", name().c_str(),
                           e.toString().c_str());
    }
    closeDevice();
}

bool ThreadedAudioDevice::abortRequested() {
    ScopedLock guard(cond_);
    return abort_;
}

bool ThreadedAudioDevice::pace(std::chrono::microseconds d) {
    const auto now = clock_.now();
    if (!paceRunning_ || now - deadline_ > d) deadline_ = now;
    paceRunning_ = true;
    deadline_ += d;
    ScopedLock guard(cond_);
    while (!abort_ && clock_.now() < deadline_) clock_.waitUntil(cond_, deadline_);
    return !abort_;
}

void ThreadedAudioDevice::runDevice() {
    ScopedLock guard(cond_);
    for (;;) {
        if (resetsDone_ < resetsAsked_) {
            returnBuffersLocked();
        } else if (quit_) {
            return;
        } else if (!queue_.empty() && started_ && !failed_) {
            transferOneLocked();
        } else {
            cond_.wait();
        }
    }
}

// Returns the buffers a reset took from the queue; buffers a callback adds meanwhile stay
// queued for after the reset (while closing, add refuses them).
void ThreadedAudioDevice::returnBuffersLocked() {
    const unsigned long ticket = resetsAsked_;
    std::deque<AudioBuffer*> buffers;
    buffers.swap(returning_);
    cond_.unlock();
    discard();
    for (AudioBuffer* buffer : buffers) {
        if (direction() == AudioDirection::Capture) buffer->setLength(0);
        complete(*buffer, *listener_);
    }
    cond_.lock();
    if (ticket == resetsAsked_) {
        abort_ = false;
        failed_ = false;
        paceRunning_ = false;
    }
    resetsDone_ = ticket;
    cond_.notifyAll();
}

void ThreadedAudioDevice::transferOneLocked() {
    AudioBuffer* buffer = queue_.front();
    queue_.pop_front();
    cond_.unlock();
    std::size_t bytes = 0;
    try {
        bytes = transfer(*buffer);
    } catch (const std::exception& e) {
        kel_util::logPrint(kel_util::MIN, "ThreadedAudioDevice::run. Failed transfer on %s, %s.\n", name().c_str(),
                           kel_util::describe(e).c_str());
        cond_.lock();
        failed_ = true;
        cond_.unlock();
    }
    if (direction() == AudioDirection::Capture) buffer->setLength(bytes);
    complete(*buffer, *listener_);
    cond_.lock();
}
