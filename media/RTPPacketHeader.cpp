#include "media/RTPPacketHeader.h"

namespace {

void put16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 8);
    at[1] = static_cast<std::uint8_t>(value);
}

void put32(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

std::uint16_t get16(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] << 8 | at[1]); }

std::uint32_t get32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 | at[3];
}

}  // namespace

void RTPPacketHeader::pack(std::uint8_t* buffer) const {
    buffer[0] = static_cast<std::uint8_t>((version & 0x03) << 6 | (padding ? 0x20 : 0) | (extension ? 0x10 : 0) |
                                          (csrcCount & 0x0F));
    buffer[1] = static_cast<std::uint8_t>((marker ? 0x80 : 0) | (payloadType & 0x7F));
    put16(buffer + 2, sequenceNumber);
    put32(buffer + 4, timestamp);
    put32(buffer + 8, ssrc);
}

void RTPPacketHeader::advance(std::uint32_t samples, std::uint8_t* buffer) {
    ++sequenceNumber;
    timestamp += samples;
    put16(buffer + 2, sequenceNumber);
    put32(buffer + 4, timestamp);
}

void RTPPacketHeader::unpack(const std::uint8_t* buffer) {
    version = buffer[0] >> 6;
    padding = (buffer[0] & 0x20) != 0;
    extension = (buffer[0] & 0x10) != 0;
    csrcCount = buffer[0] & 0x0F;
    marker = (buffer[1] & 0x80) != 0;
    payloadType = buffer[1] & 0x7F;
    sequenceNumber = get16(buffer + 2);
    timestamp = get32(buffer + 4);
    ssrc = get32(buffer + 8);
}
