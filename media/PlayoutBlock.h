// Puts received RTP payloads in their place in fixed-size playout blocks by timestamp, so that
// packets that arrive out of order still play in order, gaps play as silence and packets
// older than the block being filled are dropped. A block goes to the sink once a packet
// reaches beyond it.
//
// Threads: one at a time (the engine's receiver thread).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "media/PayloadType.h"

class PlayoutBlock {
public:
    // Takes each finished block; the bytes are valid during the call only.
    using Sink = std::function<void(const std::uint8_t* data, std::size_t length)>;

    // blockMs of payloadType per block, handed to sink.
    void configure(const PayloadType& payloadType, int blockMs, Sink sink);
    // A new source: an empty block that starts at timestamp.
    void restart(std::uint32_t timestamp);
    // Places one packet's payload. false when it is older than the block and dropped.
    bool add(std::uint32_t timestamp, const std::uint8_t* payload, int length);
    // Hands on the block in hand, its unfilled rest silence, and starts the next one after
    // it; nothing when nothing has been placed since the last block went.
    void flush();

    std::size_t blockBytes() const noexcept { return block_.size(); }

private:
    void handOn();
    void clear();

    PayloadType payloadType_;
    Sink sink_;
    std::vector<std::uint8_t> block_;
    std::uint32_t blockSamples_ = 0;
    std::uint32_t base_ = 0;  // timestamp of the block's first byte
    bool filled_ = false;     // something placed since the last hand-on
};
