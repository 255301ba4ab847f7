// The sending side of one RTP stream (RFC 3550 section 5.1): cuts audio into packets of
// one packet time each, numbers them and stamps them. There is no RTCP.
//
// Threads: one at a time (the engine's sender thread once started).
#pragma once

#include <cstdint>

#include "kel_util/Socket.h"
#include "kel_util/SocketAddress.h"
#include "media/PayloadType.h"
#include "media/RTPPacket.h"

class RTPSendSession {
public:
    // Fails unless the payload type can be set, the destination (a host name or numeric
    // address, port 1 to 65535) resolves, and one packet of packetMs holds at least one byte.
    // A sequence number or SSRC of 0 is replaced by a random value from the process-wide
    // engine (RFC 3550 section 5.1 asks for random starting values); the engine passes 0
    // for both and for the timestamp. Builds the header once: version 2, no padding,
    // extension, CSRC or marker.
    bool init(int payloadType, const char* destHost, int destPort, int packetMs, std::uint16_t sequenceNumber,
              std::uint32_t timestamp, std::uint32_t ssrc);

    // Sends data to the destination through socket in packets of at most one packet's bytes,
    // each with the next sequence number and a timestamp one packet's samples on. Returns the
    // payload bytes sent; 0 when a packet's payload does not fit the packet buffer (a packet
    // time above 186 ms); stops at the first packet whose send returns 0 or less (timeout
    // passed, see Socket::sendTo) and returns that result. Throws SocketException.
    int send(kel_util::Socket& socket, const std::uint8_t* data, int length, kel_util::Socket::Timeout timeout);

    // Moves the timestamp on by samples without sending: intervals the sender missed are
    // skipped, so that the receiver hears them as a gap rather than as a burst.
    void skipSamples(std::uint32_t samples) {
        packet_.timestamp += samples;
        packet_.writeHeader();
    }

    // True when host and port resolve to the destination.
    bool isMatchingDestSockAddr(const char* host, int port) const;

    const kel_util::SocketAddress& getDestination() const noexcept { return destination_; }
    const PayloadType& getPayloadType() const noexcept { return payloadType_; }
    int getPacketMs() const noexcept { return packetMs_; }
    int getSamplesPerPacket() const noexcept { return samplesPerPacket_; }
    int getBytesPerPacket() const noexcept { return bytesPerPacket_; }
    // The packet to go next: its header holds the running sequence number and timestamp.
    const RTPPacket& getPacket() const noexcept { return packet_; }

private:
    static bool resolve(const char* host, int port, kel_util::SocketAddress& address);

    kel_util::SocketAddress destination_;
    PayloadType payloadType_;
    int packetMs_ = 0;
    int samplesPerPacket_ = 0;
    int bytesPerPacket_ = 0;
    RTPPacket packet_;
};
