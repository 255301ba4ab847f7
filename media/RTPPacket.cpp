#include "media/RTPPacket.h"

#include <cstring>

#include "media/RTPPacketParseException.h"

bool RTPPacket::setPayload(const std::uint8_t* data, int length) {
    if (length < 0 || length > kBufferSize - kFixedLength) return false;
    if (length > 0) std::memcpy(buffer_.data() + kFixedLength, data, static_cast<std::size_t>(length));
    headerLength_ = kFixedLength;
    payloadStart_ = kFixedLength;
    payloadLength_ = length;
    length_ = kFixedLength + length;
    return true;
}

void RTPPacket::parse(int length) {
    payloadLength_ = 0;
    if (length <= kFixedLength) throw RTPPacketParseException("length too short");
    if (length > kBufferSize) throw RTPPacketParseException("length too long");
    unpack(buffer_.data());
    if (version != 2) throw RTPPacketParseException("invalid version");
    // Every other payload type, telephone events included, is refused.
    if (payloadType != kAcceptedPayloadType) throw RTPPacketParseException("invalid payload type");
    const int header = variableHeaderLength(length);
    int payload = length - header;
    // The last octet counts the padding octets, itself included (RFC 3550 section 5.1).
    if (padding) payload -= buffer_[static_cast<std::size_t>(length - 1)];
    if (payload < 1) throw RTPPacketParseException("invalid packet size");
    headerLength_ = header;
    payloadStart_ = header;
    payloadLength_ = payload;
    length_ = length;
}

int RTPPacket::variableHeaderLength(int length) const {
    int header = kFixedLength + 4 * csrcCount;
    if (length < header) throw RTPPacketParseException("invalid packet size");
    if (!extension) return header;
    // The extension: 16 bits defined by profile, 16 bits of length in 32-bit words
    // (RFC 3550 section 5.3.1).
    if (length < header + 4) throw RTPPacketParseException("invalid packet size");
    const auto* words = buffer_.data() + header + 2;
    header += 4 + 4 * (words[0] << 8 | words[1]);
    if (length < header) throw RTPPacketParseException("invalid packet size");
    return header;
}
