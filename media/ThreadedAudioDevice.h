// The part the back ends with a device thread share: a queue of added buffers that one thread
// of the device's own works through, one buffer at a time, handing each to the back end's
// blocking transfer and then to the listener; and the reset that interrupts the transfer and
// returns every queued buffer from that same thread.
//
// A back end implements openDevice/closeDevice, transfer, and, when its transfer blocks on
// something other than pace(), wake and discard.
#pragma once

#include "kel_util/Clock.h"
#include "kel_util/Cond.h"
#include "kel_util/Thread.h"
#include "media/AudioDevice.h"

#include <deque>

class ThreadedAudioDevice : public AudioDevice {
protected:
    ThreadedAudioDevice(AudioDirection direction, std::string name);
    // A back end's destructor must call close() while its own parts still exist.
    ~ThreadedAudioDevice() override;

    // On the caller's thread, before the device thread starts / after it has ended.
    virtual void openDevice() = 0;
    virtual void closeDevice() noexcept = 0;
    // On the device thread: records into the whole buffer or plays its length() bytes, blocking
    // as the device takes its time; returns the bytes recorded or played. Returns early once
    // abortRequested() is true. Throws WaveException when the device fails; the buffer is then
    // returned empty and the device takes no more buffers until it is reset.
    virtual std::size_t transfer(AudioBuffer& buffer) = 0;
    // Any thread, holding the device's lock, after abortRequested() became true: wakes a
    // transfer blocked outside pace().
    virtual void wake() {}
    // On the device thread after a reset: drop what the device holds.
    virtual void discard() {}

    bool abortRequested();
    // Waits until a running deadline moved on by d: consecutive calls end d apart on the
    // monotonic clock however long the caller took in between, unless it fell behind by more
    // than d, when the deadline starts again from now. false when aborted first.
    bool pace(std::chrono::microseconds d);

private:
    class DeviceThread : public kel_util::Thread {
    public:
        explicit DeviceThread(ThreadedAudioDevice& owner) : owner_(owner) {}
        void run() override { owner_.runDevice(); }

    private:
        ThreadedAudioDevice& owner_;
    };

    void doOpen(AudioDeviceListener& listener) override;
    void doAdd(AudioBuffer& buffer) override;
    void doStart() override;
    void doReset() override;
    void doClose() noexcept override;

    void runDevice();
    // Moves the queue to the buffers to return and interrupts the transfer; holding the lock.
    unsigned long requestResetLocked();
    void waitForReset(unsigned long ticket);
    void returnBuffersLocked();
    void transferOneLocked();

    kel_util::ClockSource& clock_;
    kel_util::Cond cond_;  // its mutex guards everything below
    AudioDeviceListener* listener_ = nullptr;
    DeviceThread thread_;
    std::deque<AudioBuffer*> queue_;
    std::deque<AudioBuffer*> returning_;
    bool started_ = false;  // playback always; capture from start() to reset()
    bool abort_ = false;
    bool failed_ = false;
    bool quit_ = false;
    unsigned long resetsAsked_ = 0;
    unsigned long resetsDone_ = 0;
    bool paceRunning_ = false;
    kel_util::ClockSource::TimePoint deadline_{};
};
