#include "media/RTPSendSession.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <numeric>
#include <vector>

#include "kel_util/Socket.h"

namespace {

using kel_util::DatagramSocket;
using kel_util::SocketAddress;
using namespace std::chrono_literals;

SocketAddress loopback() {
    SocketAddress address;
    address.set(0, "127.0.0.1", AF_INET);
    return address;
}

// The next datagram on socket, parsed; fails the test when none comes within 5 s.
RTPPacket receivePacket(DatagramSocket& socket) {
    RTPPacket packet;
    SocketAddress from;
    const int length = socket.receiveFrom(reinterpret_cast<char*>(packet.getBuffer()), RTPPacket::kBufferSize, from, 5000ms);
    EXPECT_GT(length, 0) << "no packet within 5 s";
    if (length > 0) packet.parse(length);
    return packet;
}

}  // namespace

TEST(RTPSendSession, PacketsAudioWithRandomStartAndTimestampFromZero) {
    DatagramSocket receiver;
    receiver.openAndBind(loopback());
    DatagramSocket sender;
    sender.openAndBind(loopback());
    const int port = receiver.getLocalAddress().getPort();

    RTPSendSession session;
    ASSERT_TRUE(session.init(0, "127.0.0.1", port, 20, 0, 0, 0));
    EXPECT_EQ(session.getSamplesPerPacket(), 160);
    EXPECT_EQ(session.getBytesPerPacket(), 160);
    EXPECT_TRUE(session.isMatchingDestSockAddr("127.0.0.1", port));
    EXPECT_FALSE(session.isMatchingDestSockAddr("127.0.0.1", port + 1));

    std::vector<std::uint8_t> audio(400);
    std::iota(audio.begin(), audio.end(), std::uint8_t{0});
    ASSERT_EQ(session.send(sender, audio.data(), 400, 20ms), 400);
    const RTPPacket first = receivePacket(receiver);
    EXPECT_EQ(first.version, 2);
    EXPECT_FALSE(first.padding || first.extension || first.marker);
    EXPECT_EQ(first.csrcCount, 0);
    EXPECT_EQ(first.timestamp, 0U);
    std::size_t offset = 0;
    for (const int expected : {160, 160, 80}) {
        const RTPPacket packet = offset == 0 ? first : receivePacket(receiver);
        EXPECT_EQ(packet.getPayloadLength(), expected);
        EXPECT_EQ(packet.ssrc, first.ssrc);
        EXPECT_EQ(packet.sequenceNumber, static_cast<std::uint16_t>(first.sequenceNumber + offset / 160));
        EXPECT_EQ(packet.timestamp, offset);
        EXPECT_EQ(std::memcmp(packet.getPayload(), audio.data() + offset, static_cast<std::size_t>(expected)), 0);
        offset += static_cast<std::size_t>(expected);
    }
    // The next send carries on the numbering.
    ASSERT_EQ(session.send(sender, audio.data(), 1, 20ms), 1);
    const RTPPacket next = receivePacket(receiver);
    EXPECT_EQ(next.sequenceNumber, static_cast<std::uint16_t>(first.sequenceNumber + 3));
    EXPECT_EQ(next.timestamp, 480U);

    // Random starts differ from session to session.
    RTPSendSession other;
    ASSERT_TRUE(other.init(0, "127.0.0.1", port, 20, 0, 0, 0));
    EXPECT_NE(other.getPacket().ssrc, first.ssrc);
}

TEST(RTPSendSession, RefusesWhatItCannotSend) {
    RTPSendSession session;
    EXPECT_FALSE(session.init(8, "127.0.0.1", 5004, 20, 0, 0, 0));
    EXPECT_FALSE(session.init(0, "no-such-host.invalid", 5004, 20, 0, 0, 0));
    EXPECT_FALSE(session.init(0, "", 5004, 20, 0, 0, 0));
    EXPECT_FALSE(session.init(0, "127.0.0.1", 0, 20, 0, 0, 0));
    EXPECT_FALSE(session.init(0, "127.0.0.1", 65536, 20, 0, 0, 0));
    // A packet time of no bytes would never get through the data.
    EXPECT_FALSE(session.init(0, "127.0.0.1", 5004, 0, 0, 0, 0));

    // 187 ms is 1496 bytes, more than a 1500-byte packet holds behind its header.
    DatagramSocket sender;
    sender.openAndBind(loopback());
    ASSERT_TRUE(session.init(0, "127.0.0.1", 5004, 187, 0, 0, 0));
    const std::vector<std::uint8_t> audio(1496, 0xff);
    EXPECT_EQ(session.send(sender, audio.data(), 1496, 20ms), 0);
}

TEST(PayloadType, OnlyPcmuIsSet) {
    PayloadType type;
    EXPECT_FALSE(type.set(8));
    EXPECT_EQ(type.bytesForMs(100), 0);
    ASSERT_TRUE(type.set(0));
    EXPECT_EQ(type.getSilence(), 0xff);
    EXPECT_EQ(type.bytesForMs(100), 800);  // one playout block
    EXPECT_EQ(type.msForSamples(159), 19);  // truncated
}
