#include "media/RTPPacket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "media/RTPPacketParseException.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A PCMU packet: sequence 0x1234, timestamp 0x01020304, SSRC 0xdeadbeef, then `rest`.
Bytes packet(std::uint8_t first, Bytes rest) {
    const std::uint8_t header[] = {first, 0x00, 0x12, 0x34, 0x01, 0x02, 0x03, 0x04, 0xde, 0xad, 0xbe, 0xef};
    rest.insert(rest.begin(), std::begin(header), std::end(header));
    return rest;
}

// Parses bytes; the exception's text, or "" when it parsed.
std::string parseError(const Bytes& bytes, RTPPacket& into) {
    std::memcpy(into.getBuffer(), bytes.data(), std::min<std::size_t>(bytes.size(), RTPPacket::kBufferSize));
    try {
        into.parse(static_cast<int>(bytes.size()));
    } catch (const RTPPacketParseException& error) {
        return error.getMessage();
    }
    return "";
}

}  // namespace

TEST(RTPPacket, RefusesEveryMalformedPacketWithItsText) {
    Bytes pt8 = packet(0x80, {0xff});
    pt8[1] = 8;
    Bytes pt101 = packet(0x80, {0xff});
    pt101[1] = 0x80 | 101;  // marker set, telephone event
    const struct {
        const char* what;
        Bytes bytes;
        const char* error;
    } cases[] = {
        {"header only", packet(0x80, {}), "length too short"},
        {"1501 bytes", packet(0x80, Bytes(1489, 0xff)), "length too long"},
        {"version 1", packet(0x40, {0xff}), "invalid version"},
        {"version 3", packet(0xc0, {0xff}), "invalid version"},
        {"payload type 8", pt8, "invalid payload type"},
        {"payload type 101", pt101, "invalid payload type"},
        {"2 CSRCs, 1 word there", packet(0x82, {1, 2, 3, 4}), "invalid packet size"},
        {"CSRC list and nothing after", packet(0x81, {1, 2, 3, 4}), "invalid packet size"},
        {"extension header cut", packet(0x90, {0xbe, 0xde, 0x00}), "invalid packet size"},
        {"extension longer than packet", packet(0x90, {0xbe, 0xde, 0x00, 0x02, 1, 2, 3, 4, 0xff}), "invalid packet size"},
        {"extension and no payload", packet(0x90, {0xbe, 0xde, 0x00, 0x01, 1, 2, 3, 4}), "invalid packet size"},
        {"padding equal to payload", packet(0xa0, {0xff, 0xff, 0x03}), "invalid packet size"},
        {"padding beyond payload", packet(0xa0, {0xff, 0xff, 0xf0}), "invalid packet size"},
    };
    for (const auto& c : cases) {
        RTPPacket parsed;
        EXPECT_EQ(parseError(c.bytes, parsed), c.error) << c.what;
        EXPECT_EQ(parsed.getPayloadLength(), 0) << c.what;
    }
}

TEST(RTPPacket, FindsThePayloadBehindCsrcsAndExtensionAndBeforePadding) {
    // One CSRC, a one-word extension, payload 0x11 0x22 0x33, two padding octets.
    const Bytes bytes = packet(0xb1, {9, 9, 9, 9, 0xbe, 0xde, 0x00, 0x01, 7, 7, 7, 7, 0x11, 0x22, 0x33, 0x00, 0x02});
    RTPPacket parsed;
    ASSERT_EQ(parseError(bytes, parsed), "");
    EXPECT_EQ(parsed.getHeaderLength(), 24);
    EXPECT_EQ(parsed.getPayloadLength(), 3);
    EXPECT_EQ(Bytes(parsed.getPayload(), parsed.getPayload() + 3), (Bytes{0x11, 0x22, 0x33}));
    EXPECT_TRUE(parsed.padding);
    EXPECT_TRUE(parsed.extension);
    EXPECT_EQ(parsed.csrcCount, 1);
    EXPECT_EQ(parsed.sequenceNumber, 0x1234);
    EXPECT_EQ(parsed.timestamp, 0x01020304U);
    EXPECT_EQ(parsed.ssrc, 0xdeadbeefU);

    // 1500 bytes is the largest packet taken.
    EXPECT_EQ(parseError(packet(0x80, Bytes(1488, 0xff)), parsed), "");
    EXPECT_EQ(parsed.getPayloadLength(), 1488);
}

TEST(RTPPacket, WritesTheHeaderInNetworkOrderAndAdvancesWithWrap) {
    RTPPacket out;
    out.marker = true;
    out.sequenceNumber = 0xfffe;
    out.timestamp = 0xffffff00U;
    out.ssrc = 0x01020304U;
    out.writeHeader();
    const std::uint8_t audio[] = {0x55, 0x66};
    ASSERT_TRUE(out.setPayload(audio, 2));
    EXPECT_EQ(Bytes(out.getBuffer(), out.getBuffer() + out.getLength()),
              (Bytes{0x80, 0x80, 0xff, 0xfe, 0xff, 0xff, 0xff, 0x00, 0x01, 0x02, 0x03, 0x04, 0x55, 0x66}));
    out.nextPacket(160);
    out.nextPacket(160);
    EXPECT_EQ(Bytes(out.getBuffer() + 2, out.getBuffer() + 8), (Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x40}));

    const Bytes tooLong(RTPPacket::kBufferSize - RTPPacket::kFixedLength + 1, 0);
    EXPECT_FALSE(out.setPayload(tooLong.data(), static_cast<int>(tooLong.size())));
    EXPECT_EQ(out.getLength(), 14);
}
