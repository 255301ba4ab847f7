#include "kel_util/CaptureRecord.h"

#include <cstring>

namespace kel_util::capture {
namespace {

constexpr std::size_t SOURCE_OFFSET = 16;
constexpr std::size_t DESTINATION_OFFSET = SOURCE_OFFSET + ADDRESS_LENGTH;
constexpr std::size_t LENGTH_OFFSET = DESTINATION_OFFSET + ADDRESS_LENGTH;

void put16(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 8);
    out[1] = static_cast<std::uint8_t>(value);
}

void put32(std::uint8_t* out, std::uint32_t value) {
    put16(out, value >> 16);
    put16(out + 2, value & 0xffff);
}

void putAddress(std::uint8_t* out, const SocketAddress& address) {
    if (address.getFamily() == AF_INET6) {
        const auto* inet6 = reinterpret_cast<const sockaddr_in6*>(address.get());
        put16(out, 6);
        std::memcpy(out + 4, &inet6->sin6_addr, 16);
        put32(out + 20, inet6->sin6_scope_id);
    } else if (address.getFamily() == AF_INET) {
        const auto* inet = reinterpret_cast<const sockaddr_in*>(address.get());
        put16(out, 4);
        std::memcpy(out + 4, &inet->sin_addr, 4);  // already in network order
    } else {
        return;
    }
    put16(out + 2, static_cast<std::uint32_t>(address.getPort()));
}

Header baseHeader(RecordType type) {
    Header header{};
    header[0] = MARKER;
    header[1] = static_cast<std::uint8_t>(type);
    put16(&header[2], HEADER_LENGTH);
    return header;
}

}  // namespace

Header messageHeader(Direction direction, Transport transport, std::chrono::system_clock::time_point stamp,
                     const SocketAddress& source, const SocketAddress& destination, std::uint32_t length) {
    Header header = baseHeader(RecordType::MESSAGE);
    header[4] = static_cast<std::uint8_t>(direction);
    header[5] = static_cast<std::uint8_t>(transport);
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::microseconds>(stamp.time_since_epoch());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
    put32(&header[8], static_cast<std::uint32_t>(seconds.count()));
    put32(&header[12], static_cast<std::uint32_t>((sinceEpoch - seconds).count()));
    putAddress(&header[SOURCE_OFFSET], source);
    putAddress(&header[DESTINATION_OFFSET], destination);
    put32(&header[LENGTH_OFFSET], length);
    return header;
}

Header keepAliveHeader() { return baseHeader(RecordType::KEEP_ALIVE); }

}  // namespace kel_util::capture
