// The RTP fixed header (RFC 3550 section 5.1). On the wire, in network byte order:
//   byte 0   version (bits 7-6), padding (bit 5), extension (bit 4), CSRC count (bits 3-0)
//   byte 1   marker (bit 7), payload type (bits 6-0)
//   2-3      sequence number
//   4-7      timestamp
//   8-11     SSRC
#pragma once

#include <cstdint>

class RTPPacketHeader {
public:
    static constexpr int kFixedLength = 12;

    // Version 2, every other field 0.
    void reset() { *this = RTPPacketHeader(); }

    int version = 2;
    bool padding = false;
    bool extension = false;
    int csrcCount = 0;
    bool marker = false;
    int payloadType = 0;
    std::uint16_t sequenceNumber = 0;
    std::uint32_t timestamp = 0;
    std::uint32_t ssrc = 0;

protected:
    // Packs the fields into buffer[0..11]; out-of-range values keep only their field's bits.
    void pack(std::uint8_t* buffer) const;
    // Unpacks buffer[0..11] into the fields.
    void unpack(const std::uint8_t* buffer);
    // Sequence number + 1 (wrapping at 16 bits), timestamp + samples (wrapping at 32 bits),
    // and those two fields rewritten in buffer.
    void advance(std::uint32_t samples, std::uint8_t* buffer);
};
