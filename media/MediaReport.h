// What an engine tells about its RTP streams at any moment: the stream it sends and the stream
// it plays, with the receive statistics of RFC 3550 section 6.4.1 (loss, interarrival jitter)
// and appendix A.1 (sequence order).
#pragma once

#include <bitset>
#include <chrono>
#include <cstdint>
#include <string>

struct RTPSendReport {
    bool hasStream = false;  // a sender has run since the engine opened
    std::uint32_t ssrc = 0;
    std::uint64_t packets = 0;
    std::uint64_t bytes = 0;            // payload bytes
    std::uint64_t missedIntervals = 0;  // packet intervals skipped because the thread was late
};

struct RTPReceiveReport {
    bool hasStream = false;  // a source has been accepted
    std::uint32_t ssrc = 0;
    std::uint64_t packets = 0;  // every accepted packet, duplicates too
    std::uint64_t bytes = 0;    // payload bytes
    std::uint64_t lost = 0;     // expected less received, duplicates not counted (RFC 3550 A.3)
    std::uint64_t duplicated = 0;
    std::uint64_t outOfOrder = 0;  // arrived after a packet with a higher sequence number
    double jitterMs = 0;           // RFC 3550 A.8, in milliseconds
    // Payload types of the RTP datagrams received since the receiver started, taken or not.
    std::bitset<128> payloadTypes;
    std::chrono::system_clock::time_point firstArrival{};  // of the stream's first packet
};

struct MediaReport {
    RTPSendReport sent;
    RTPReceiveReport received;

    // One line without the trailing newline: "sent ssrc=... packets=... ; received ...".
    std::string toString() const;
};
