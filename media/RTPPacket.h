// One RTP packet in a fixed buffer that holds it as it is on the wire: the header fields
// (RTPPacketHeader), then the CSRC list and header extension of received packets, the
// payload, and the padding of received packets.
//
// Threads: one at a time.
#pragma once

#include <array>
#include <cstdint>

#include "media/RTPPacketHeader.h"

class RTPPacket : public RTPPacketHeader {
public:
    static constexpr int kBufferSize = 1500;
    // The only payload type the parser accepts: PCMU (RFC 3551 section 6).
    static constexpr int kAcceptedPayloadType = 0;

    // Header length 12, payload at byte 12, payload length 0, total length 12.
    RTPPacket() = default;

    // Packs the header fields into the first 12 bytes of the buffer.
    void writeHeader() { pack(buffer_.data()); }
    // The next packet of a stream: sequence number + 1, timestamp + samples, both rewritten.
    void nextPacket(std::uint32_t samples) { advance(samples, buffer_.data()); }

    // Copies length bytes behind the 12-byte header; false, leaving the packet unchanged,
    // when they do not fit the buffer or length is negative.
    bool setPayload(const std::uint8_t* data, int length);

    // Reads the first length bytes of the buffer as a received packet (RFC 3550 sections
    // 5.1 and 5.3.1): the header, then skips the CSRC list and the extension, and takes
    // the padding off the end. Throws RTPPacketParseException with "length too short",
    // "length too long", "invalid version", "invalid payload type" or "invalid packet
    // size"; the packet then holds no payload.
    void parse(int length);

    // Where a received datagram goes before parse.
    std::uint8_t* getBuffer() noexcept { return buffer_.data(); }
    const std::uint8_t* getBuffer() const noexcept { return buffer_.data(); }
    int getHeaderLength() const noexcept { return headerLength_; }
    const std::uint8_t* getPayload() const noexcept { return buffer_.data() + payloadStart_; }
    int getPayloadLength() const noexcept { return payloadLength_; }
    // The bytes to send: header and payload.
    int getLength() const noexcept { return length_; }

private:
    // The header length with the CSRC list and extension of a packet of length bytes.
    int variableHeaderLength(int length) const;

    std::array<std::uint8_t, kBufferSize> buffer_{};
    int headerLength_ = kFixedLength;
    int payloadStart_ = kFixedLength;
    int payloadLength_ = 0;
    int length_ = kFixedLength;
};
