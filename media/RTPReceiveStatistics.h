// The receive statistics of one RTP source: the extended highest sequence number and the
// counts of RFC 3550 appendix A.1 and A.3, duplicates and reordering seen within the last
// 128 sequence numbers, and the interarrival jitter of appendix A.8.
//
// Threads: one at a time (the receiver thread, under the receiver's report lock).
#pragma once

#include <bitset>
#include <chrono>
#include <cstdint>

#include "media/MediaReport.h"

class RTPReceiveStatistics {
public:
    using Clock = std::chrono::steady_clock;

    // Starts a new stream from its first packet. clockRate: the payload type's.
    void start(std::uint32_t ssrc, int clockRate);
    // Counts one packet of the stream, arrived at arrival (the monotonic clock) and wall.
    void onPacket(std::uint16_t sequenceNumber, std::uint32_t timestamp, int payloadBytes, Clock::time_point arrival,
                  std::chrono::system_clock::time_point wall);

    // Fills the stream's part of a report (not the payload types).
    void fill(RTPReceiveReport& report) const;

private:
    // How far behind the highest sequence a packet may be and still be told apart from a
    // duplicate; RFC 3550 A.1 takes up to 100 behind as misordered.
    static constexpr int kWindow = 128;

    // Counts the packet's place in the sequence; false for a duplicate.
    bool countSequence(std::uint16_t sequenceNumber);
    // A jump the source check has believed: the numbering starts again there.
    void restartSequence(std::uint16_t sequenceNumber);
    void updateJitter(std::uint32_t timestamp, Clock::time_point arrival);

    bool started_ = false;
    std::uint32_t ssrc_ = 0;
    int clockRate_ = 8000;
    std::uint64_t packets_ = 0;
    std::uint64_t bytes_ = 0;
    std::uint64_t duplicated_ = 0;
    std::uint64_t outOfOrder_ = 0;
    std::uint64_t lostBefore_ = 0;  // lost before the numbering last started again
    std::uint64_t baseSequence_ = 0;   // extended
    std::uint64_t highest_ = 0;        // extended
    std::uint64_t uniqueSinceBase_ = 0;
    std::bitset<kWindow> seen_;  // bit i: highest_ - i has arrived
    bool hasTransit_ = false;
    double lastTransit_ = 0;  // in timestamp units
    double jitter_ = 0;       // in timestamp units
    Clock::time_point firstArrival_{};
    std::uint32_t firstTimestamp_ = 0;
    std::chrono::system_clock::time_point firstWall_{};
};
