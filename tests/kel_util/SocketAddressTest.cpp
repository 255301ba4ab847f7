#include "kel_util/SocketAddress.h"

#include <gtest/gtest.h>

using kel_util::SocketAddress;

TEST(SocketAddress, EmptyAddressesOfEachFamily) {
    EXPECT_EQ(SocketAddress(AF_INET).toString(), "0.0.0.0:0");
    EXPECT_EQ(SocketAddress(AF_INET).getLength(), 16u);
    EXPECT_EQ(SocketAddress(AF_INET6).toString(), "[::]:0");
    EXPECT_EQ(SocketAddress(AF_INET6).getLength(), 28u);
}

TEST(SocketAddress, PrintsIPv4PlainAndIPv6InBrackets) {
    SocketAddress address;
    ASSERT_TRUE(address.set(5060, "192.0.2.7", AF_INET));
    EXPECT_EQ(address.toString(), "192.0.2.7:5060");
    ASSERT_TRUE(address.set(65535, "2001:db8::1", AF_INET6));
    EXPECT_EQ(address.toString(), "[2001:db8::1]:65535");
    EXPECT_EQ(address.getHost(), "2001:db8::1");
    EXPECT_EQ(address.getFamily(), AF_INET6);
}

TEST(SocketAddress, AnAddressThePlatformCannotPrintIsUnknown) {
    SocketAddress address;
    address.fill()->sa_family = AF_UNIX;
    EXPECT_EQ(address.toString(), "unknown");
    EXPECT_FALSE(address.commit(SocketAddress::capacity()));
}

TEST(SocketAddress, NoHostTextGivesTheWildcardAddress) {
    SocketAddress address(AF_INET6);
    ASSERT_TRUE(address.set(5060, nullptr, AF_INET));
    EXPECT_EQ(address.toString(), "0.0.0.0:5060");
    ASSERT_TRUE(address.set(0, "", AF_INET6));
    EXPECT_EQ(address.toString(), "[::]:0");
}

TEST(SocketAddress, PortsOutsideTheRangeAreRefusedAndLeaveTheAddressUnchanged) {
    SocketAddress address;
    ASSERT_TRUE(address.set(5060, "192.0.2.7", AF_INET));
    EXPECT_FALSE(address.set(65536, "192.0.2.8", AF_INET));
    EXPECT_FALSE(address.set(-1, "192.0.2.8", AF_INET));
    EXPECT_TRUE(SocketAddress::resolveAll(70000, "192.0.2.8", AF_INET).empty());
    EXPECT_EQ(address.toString(), "192.0.2.7:5060");
}

TEST(SocketAddress, EqualityComparesFamilyPortAndAddressBytes) {
    SocketAddress a, b, c, v6;
    a.set(5060, "192.0.2.7", AF_INET);
    b.set(5060, "192.0.2.7", AF_INET);
    c.set(5060, "192.0.2.8", AF_INET);
    v6.set(5060, "::ffff:192.0.2.7", AF_INET6);
    EXPECT_EQ(a, b);
    EXPECT_FALSE(a == c);
    EXPECT_FALSE(a == v6);
    b.setPort(5061);
    EXPECT_FALSE(a == b);
    EXPECT_EQ(b.getPort(), 5061);
}

TEST(SocketAddress, ResolveAllKeepsEveryAnswerOfTheFamily) {
    const auto addresses = SocketAddress::resolveAll(5060, "127.0.0.1", AF_UNSPEC);
    ASSERT_EQ(addresses.size(), 1u);
    EXPECT_EQ(addresses[0].toString(), "127.0.0.1:5060");
}
