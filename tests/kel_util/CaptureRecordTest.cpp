#include "kel_util/CaptureRecord.h"

#include "CaptureStream.h"

#include <gtest/gtest.h>

using namespace kel_util::capture;
using kel_util::SocketAddress;
using kel_test::CapturedRecord;
using kel_test::takeRecord;

namespace {

std::string bytesOf(const Header& header) { return std::string(header.begin(), header.end()); }

}  // namespace

TEST(CaptureRecord, MessageHeaderPutsEachFieldAtItsOffsetInNetworkOrder) {
    SocketAddress source, destination;
    source.set(5060, "192.0.2.1", AF_INET);
    destination.set(0x1234, "2001:db8::7", AF_INET6);
    const auto stamp = std::chrono::system_clock::time_point(std::chrono::seconds(0x5f5e1000) +
                                                             std::chrono::microseconds(654321));
    const std::string header = bytesOf(messageHeader(Direction::RECEIVED, Transport::TCP, stamp, source, destination, 0x01020304));
    EXPECT_EQ(header.substr(0, 16), std::string("\x3B\x01\x01\x18\x01\x02\x00\x00\x5f\x5e\x10\x00\x00\x09\xfb\xf1", 16));
    EXPECT_EQ(header.substr(16, 8), std::string("\x00\x04\x13\xc4\xc0\x00\x02\x01", 8));
    EXPECT_EQ(header.substr(144, 4), std::string("\x00\x06\x12\x34", 4));
    EXPECT_EQ(header.substr(148, 16), std::string("\x20\x01\x0d\xb8\0\0\0\0\0\0\0\0\0\0\0\x07", 16));
    EXPECT_EQ(header.substr(272, 8), std::string("\x01\x02\x03\x04\0\0\0\0", 8));

    std::string stream = bytesOf(messageHeader(Direction::SENT, Transport::UDP, stamp, source, destination, 5)) + "hello";
    CapturedRecord record;
    bool malformed = true;
    ASSERT_TRUE(takeRecord(stream, record, malformed));
    EXPECT_FALSE(malformed);
    EXPECT_EQ(record.source.port, 5060);
    EXPECT_EQ(record.destination.family, 6);
    EXPECT_EQ(record.message, "hello");
}

TEST(CaptureRecord, KeepAliveIsTheBareHeaderWithEveryLaterFieldZero) {
    std::string stream = bytesOf(keepAliveHeader());
    EXPECT_EQ(stream.substr(0, 4), std::string("\x3B\x00\x01\x18", 4));
    CapturedRecord record;
    bool malformed = true;
    ASSERT_TRUE(takeRecord(stream, record, malformed));
    EXPECT_FALSE(malformed);
    EXPECT_EQ(record.type, 0);
    EXPECT_TRUE(stream.empty());
}
