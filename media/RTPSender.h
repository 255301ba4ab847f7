// The sending thread of an engine: one RTP packet every packet time, paced by a running
// deadline on the monotonic clock, so that drift does not accumulate; intervals missed while
// the thread was late are skipped by moving the timestamp on, never sent late in a burst.
// Each packet carries the next bytes of the data buffer (recorded audio, a looping WAV file
// or DTMF tone), filled up with silence, or silence alone when no data is left.
//
// Threads: start, stopAndJoin, isMatching from the engine's callers (serialised by the
// engine); setData from any thread; getReport from any thread at any moment.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "kel_util/Cond.h"
#include "kel_util/Socket.h"
#include "kel_util/Thread.h"
#include "media/MediaReport.h"
#include "media/RTPSendSession.h"

class RTPSender : public kel_util::Thread {
public:
    // socket must outlive the sender.
    explicit RTPSender(kel_util::Socket& socket) : socket_(socket) {}
    ~RTPSender() override { stopAndJoin(); }

    // Starts a new send session (random sequence number and SSRC, timestamp 0) and the
    // thread; false, logged, when it already runs or the session cannot be set up.
    bool start(int payloadType, int packetMs, const char* destHost, int destPort);
    // Ends the thread and waits for it; harmless when it does not run.
    void stopAndJoin();
    void stop() override;
    // Running with this payload type, packet time and destination.
    bool isMatching(int payloadType, int packetMs, const char* destHost, int destPort);

    // Replaces what the packets carry. Empty data clears the buffer (silence from then on).
    // Recorded audio (loop false) is appended behind the recorded audio not yet sent; a loop
    // repeats until replaced.
    void setData(const std::uint8_t* data, std::size_t length, bool loop);

    RTPSendReport getReport() const;

    void run() override;

private:
    // The thread is started through start above, never with the bare name.
    using kel_util::Thread::start;
    // Waits for the next deadline and moves it on; false once stopped. Holding cond_.
    static void raisePriority();
    bool waitForDeadline(std::chrono::steady_clock::time_point& deadline);
    // The next packet's bytes into work, padded with silence; holding cond_.
    void fillLocked(std::vector<std::uint8_t>& work);
    // Sends one packet; false when the thread must end.
    bool sendPacket(const std::vector<std::uint8_t>& work);

    kel_util::Socket& socket_;
    std::mutex controlMutex_;  // start and stop against each other
    RTPSendSession session_;   // the thread's while it runs
    std::chrono::milliseconds interval_{20};

    kel_util::Cond cond_;  // its mutex guards the data buffer below
    std::vector<std::uint8_t> data_;  // only grows; holds dataLength_ bytes
    std::size_t dataLength_ = 0;
    std::size_t readOffset_ = 0;
    bool loop_ = false;
    std::uint8_t silence_ = 0xFF;

    std::atomic<bool> hasStream_{false};
    std::atomic<std::uint32_t> ssrc_{0};
    std::atomic<std::uint64_t> packets_{0};
    std::atomic<std::uint64_t> bytes_{0};
    std::atomic<std::uint64_t> missed_{0};
};
