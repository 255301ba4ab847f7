// The record the message captor writes to its capture listener: a fixed 280-byte header in
// network byte order, followed (for a message) by the message bytes.
//
//   offset size field
//        0    1 marker 0x3B
//        1    1 type: 0 keep-alive, 1 message
//        2    2 header length, 280
//        4    1 direction: 0 sent, 1 received
//        5    1 transport: 1 UDP, 2 TCP
//        6    2 zero
//        8    4 time stamp, seconds since 1970
//       12    4 time stamp, microseconds
//       16  128 source address (layout below)
//      144  128 destination address
//      272    4 message length in bytes
//      276    4 zero
//
// An address field does not depend on the platform's numbering of address families:
//
//   offset size field
//        0    2 family: 4 IPv4, 6 IPv6, 0 none
//        2    2 port
//        4   16 address; IPv4 uses the first 4 bytes, the rest is zero
//       20    4 IPv6 scope id, 0 for IPv4
//       24  104 zero
//
// A keep-alive is the header alone, type 0, with every field after the header length zero.
#pragma once

#include "kel_util/SocketAddress.h"

#include <array>
#include <chrono>
#include <cstdint>

namespace kel_util::capture {

inline constexpr std::uint8_t MARKER = 0x3B;
inline constexpr std::size_t HEADER_LENGTH = 280;
inline constexpr std::size_t ADDRESS_LENGTH = 128;

enum class RecordType : std::uint8_t { KEEP_ALIVE = 0, MESSAGE = 1 };
enum class Direction : std::uint8_t { SENT = 0, RECEIVED = 1 };
enum class Transport : std::uint8_t { UDP = 1, TCP = 2 };

using Header = std::array<std::uint8_t, HEADER_LENGTH>;

// The header of a message of length bytes, stamped with stamp.
Header messageHeader(Direction direction, Transport transport, std::chrono::system_clock::time_point stamp,
                     const SocketAddress& source, const SocketAddress& destination, std::uint32_t length);
Header keepAliveHeader();

}  // namespace kel_util::capture
