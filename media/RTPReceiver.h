// The receiving thread of an engine: reads RTP datagrams from the engine's socket, keeps to
// one validated source (RFC 3550 appendix A.1), puts the payloads in playout blocks and hands
// each finished block to the player. A datagram that does not parse or does not belong to the
// source is dropped and logged; no datagram ends the thread. After a second without packets
// the block in hand is played out, its rest silence, so a peer that stops sending is heard
// as silence.
//
// Threads: start, stopAndJoin, isMatching from the engine's callers (serialised by the
// engine); getReport from any thread at any moment; the sink runs on the receiver thread.
#pragma once

#include <chrono>
#include <mutex>

#include "kel_util/Socket.h"
#include "kel_util/Thread.h"
#include "media/MediaReport.h"
#include "media/PlayoutBlock.h"
#include "media/RTPPacket.h"
#include "media/RTPReceiveStatistics.h"
#include "media/RTPSourceState.h"

class RTPReceiver : public kel_util::Thread {
public:
    // Time without a packet after which "Receive timeout." is logged and the block played.
    static constexpr std::chrono::milliseconds kReceiveTimeout{1000};
    // How long one wait on the socket lasts, so that a stop is noticed that soon.
    static constexpr std::chrono::milliseconds kPollSlice{50};

    // socket must outlive the receiver; sink takes the finished blocks.
    RTPReceiver(kel_util::Socket& socket, PlayoutBlock::Sink sink) : socket_(socket), sink_(std::move(sink)) {}
    ~RTPReceiver() override { stopAndJoin(); }

    // false, logged, when already running or the payload type cannot be set.
    bool start(int payloadType, int jitterMs);
    void stopAndJoin();
    bool isMatching(int payloadType, int jitterMs);

    // The receive side of the report (hasStream false before a source was accepted).
    RTPReceiveReport getReport() const;

    void run() override;

private:
    // The thread is started through start above, never with the bare name.
    using kel_util::Thread::start;
    enum class Outcome { Packet, Timeout, End };

    // Reads datagrams already waiting, which belong to no call of this receiver.
    void drain();
    // Waits for one datagram up to the receive time-out.
    Outcome receive(int& length);
    void handle(int length);
    // Counts the datagram's payload type if it carries an RTP version 2 header.
    void notePayloadType(int length);
    void place(int sourceResult);

    kel_util::Socket& socket_;
    PlayoutBlock::Sink sink_;
    std::mutex controlMutex_;
    int payloadTypeNumber_ = 0;
    int jitterMs_ = 0;
    // The thread's while it runs:
    PayloadType payloadType_;
    RTPSourceState source_;
    RTPPacket packet_;
    PlayoutBlock block_;

    mutable std::mutex reportMutex_;  // guards the two below
    RTPReceiveStatistics statistics_;
    std::bitset<128> payloadTypes_;
};
