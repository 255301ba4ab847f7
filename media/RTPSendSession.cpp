#include "media/RTPSendSession.h"

#include <algorithm>

#include "kel_util/Random.h"

bool RTPSendSession::init(int payloadType, const char* destHost, int destPort, int packetMs,
                          std::uint16_t sequenceNumber, std::uint32_t timestamp, std::uint32_t ssrc) {
    PayloadType type;
    kel_util::SocketAddress destination;
    if (!type.set(payloadType) || !resolve(destHost, destPort, destination)) return false;
    // A packet time that holds no byte would cut data into empty packets without end.
    const int bytes = type.bytesForMs(packetMs);
    if (bytes < 1) return false;

    payloadType_ = type;
    destination_ = destination;
    packetMs_ = packetMs;
    samplesPerPacket_ = type.samplesForMs(packetMs);
    bytesPerPacket_ = bytes;
    packet_ = RTPPacket();
    packet_.payloadType = type.getPayloadType();
    packet_.sequenceNumber = sequenceNumber != 0 ? sequenceNumber : static_cast<std::uint16_t>(kel_util::randomUInt32());
    packet_.timestamp = timestamp;
    packet_.ssrc = ssrc != 0 ? ssrc : kel_util::randomUInt32();
    packet_.writeHeader();
    return true;
}

int RTPSendSession::send(kel_util::Socket& socket, const std::uint8_t* data, int length,
                         kel_util::Socket::Timeout timeout) {
    int sent = 0;
    while (sent < length) {
        const int chunk = std::min(bytesPerPacket_, length - sent);
        if (!packet_.setPayload(data + sent, chunk)) return 0;
        const int result = socket.sendTo(reinterpret_cast<const char*>(packet_.getBuffer()), packet_.getLength(),
                                         destination_, timeout);
        if (result <= 0) return result;
        packet_.nextPacket(static_cast<std::uint32_t>(samplesPerPacket_));
        sent += chunk;
    }
    return sent;
}

bool RTPSendSession::isMatchingDestSockAddr(const char* host, int port) const {
    kel_util::SocketAddress address;
    return resolve(host, port, address) && address == destination_;
}

bool RTPSendSession::resolve(const char* host, int port, kel_util::SocketAddress& address) {
    // The wildcard address and port 0 name no destination.
    if (host == nullptr || *host == '\0' || port < 1) return false;
    return address.set(port, host, AF_UNSPEC);
}
