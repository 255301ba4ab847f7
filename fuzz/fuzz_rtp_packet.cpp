// RTP packet parse and source validation: the input is a run of datagrams, each behind a
// 16-bit big-endian length. A packet that parses must have its payload inside the datagram,
// and every parsed packet goes through one source check as a receiver's would.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "media/RTPPacket.h"
#include "media/RTPPacketParseException.h"
#include "media/RTPSourceState.h"

namespace {

[[noreturn]] void fail(const char* what, int length, const RTPPacket& packet) {
    std::fprintf(stderr, "%s: datagram %d bytes, header %d, payload %d\n", what, length, packet.getHeaderLength(),
                 packet.getPayloadLength());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RTPSourceState source(0);
    RTPPacket packet;
    while (size >= 2) {
        const int length = data[0] << 8 | data[1];
        data += 2;
        size -= 2;
        const std::size_t taken = static_cast<std::size_t>(length) < size ? static_cast<std::size_t>(length) : size;
        // A datagram longer than the buffer is cut by the socket; its length still says how long it was.
        std::memcpy(packet.getBuffer(), data, taken < RTPPacket::kBufferSize ? taken : RTPPacket::kBufferSize);
        data += taken;
        size -= taken;
        const int received = static_cast<int>(taken);
        try {
            packet.parse(received);
        } catch (const RTPPacketParseException&) {
            if (packet.getPayloadLength() != 0) fail("refused packet keeps a payload", received, packet);
            continue;
        }
        if (packet.getPayloadLength() < 1 || packet.getHeaderLength() < RTPPacket::kFixedLength ||
            packet.getHeaderLength() + packet.getPayloadLength() > received || received > RTPPacket::kBufferSize) {
            fail("payload outside the datagram", received, packet);
        }
        const int result = source.checkSource(packet.payloadType, packet.ssrc, packet.sequenceNumber);
        if (result < RTPSourceState::kSequenceJumpAgain || result > RTPSourceState::kNewSource) {
            fail("unknown source check result", received, packet);
        }
    }
    return 0;
}
