// Reads capture records from a byte stream the way a capture viewer would, checking each
// header field at its documented offset.
#pragma once

#include <cstdint>
#include <string>

namespace kel_test {

struct CapturedAddress {
    int family = 0;  // 4, 6 or 0 as written on the wire
    int port = 0;
    std::string bytes;  // 4 or 16 address bytes
};

struct CapturedRecord {
    int type = -1;
    int direction = -1;
    int transport = -1;
    std::uint32_t seconds = 0;
    std::uint32_t microseconds = 0;
    CapturedAddress source;
    CapturedAddress destination;
    std::string message;
};

inline std::uint32_t read16(const std::string& s, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at]) << 8 | static_cast<unsigned char>(s[at + 1]));
}

inline std::uint32_t read32(const std::string& s, std::size_t at) { return read16(s, at) << 16 | read16(s, at + 2); }

inline bool allZero(const std::string& s, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
        if (s[i] != '\0') return false;
    }
    return true;
}

// Decodes the address field at offset; false when its padding is not zero.
inline bool readAddress(const std::string& s, std::size_t at, CapturedAddress& address) {
    address.family = static_cast<int>(read16(s, at));
    address.port = static_cast<int>(read16(s, at + 2));
    const std::size_t length = address.family == 6 ? 16 : 4;
    address.bytes = s.substr(at + 4, length);
    return allZero(s, at + 4 + length, at + 20) && (address.family == 6 || allZero(s, at + 20, at + 24)) &&
           allZero(s, at + 24, at + 128);
}

// Takes one whole record from the front of stream; false when it holds none yet. A malformed
// header sets malformed.
inline bool takeRecord(std::string& stream, CapturedRecord& record, bool& malformed) {
    if (stream.size() < 280) return false;
    const std::uint32_t length = read32(stream, 272);
    if (stream.size() < 280 + length) return false;
    record.type = static_cast<unsigned char>(stream[1]);
    record.direction = static_cast<unsigned char>(stream[4]);
    record.transport = static_cast<unsigned char>(stream[5]);
    record.seconds = read32(stream, 8);
    record.microseconds = read32(stream, 12);
    malformed = static_cast<unsigned char>(stream[0]) != 0x3B || read16(stream, 2) != 280 || !allZero(stream, 6, 8) ||
                !allZero(stream, 276, 280) || record.microseconds >= 1000000 ||
                !readAddress(stream, 16, record.source) || !readAddress(stream, 144, record.destination) ||
                (record.type == 0 && (length != 0 || !allZero(stream, 4, 280))) || record.type > 1;
    record.message = stream.substr(280, length);
    stream.erase(0, 280 + length);
    return true;
}

}  // namespace kel_test
