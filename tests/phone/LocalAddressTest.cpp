#include "phone/LocalAddress.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <algorithm>

namespace {

TEST(LocalAddressChooser, OneCandidateIsTakenWithoutANote) {
    std::string chosen;
    std::string note = "stale";
    ASSERT_TRUE(LocalAddressChooser::choose({"192.0.2.5"}, chosen, note));
    EXPECT_EQ(chosen, "192.0.2.5");
    EXPECT_TRUE(note.empty());
}

TEST(LocalAddressChooser, SeveralCandidatesTakeTheFirstAndSayHowToChoose) {
    std::string chosen;
    std::string note;
    ASSERT_TRUE(LocalAddressChooser::choose({"192.0.2.5", "2001:db8::5", "127.0.0.1"}, chosen, note));
    EXPECT_EQ(chosen, "192.0.2.5");
    EXPECT_NE(note.find("using 192.0.2.5"), std::string::npos) << note;
    EXPECT_NE(note.find("2001:db8::5"), std::string::npos) << note;
    EXPECT_NE(note.find("-a"), std::string::npos) << note;
}

TEST(LocalAddressChooser, NoCandidateFails) {
    std::string chosen;
    std::string note;
    EXPECT_FALSE(LocalAddressChooser::choose({}, chosen, note));
}

TEST(LocalAddressChooser, InterfaceAddressesLeaveOutIPv6LoopbackAndPutLoopbackLast) {
    const auto addresses = LocalAddressChooser::interfaceAddresses();
    ASSERT_FALSE(addresses.empty());  // every test machine has at least 127.0.0.1
    EXPECT_EQ(std::find(addresses.begin(), addresses.end(), "::1"), addresses.end());
    const auto loopback = std::find(addresses.begin(), addresses.end(), "127.0.0.1");
    if (loopback != addresses.end()) {
        EXPECT_TRUE(std::all_of(loopback, addresses.end(), [](const std::string& a) { return a.rfind("127.", 0) == 0; }));
    }
}

TEST(LocalAddressChooser, ResolveKeepsTheZoneOnlyInTheFullAddress) {
    LocalAddress local;
    std::string error;
    ASSERT_TRUE(LocalAddressChooser::resolve("127.0.0.1", "host", local, error)) << error;
    EXPECT_EQ(local.family, AF_INET);
    EXPECT_EQ(local.withoutZone, "127.0.0.1");
    EXPECT_EQ(local.hostName, "host");
    ASSERT_TRUE(LocalAddressChooser::resolve("fe80::1%lo", "host", local, error)) << error;
    EXPECT_EQ(local.family, AF_INET6);
    EXPECT_EQ(local.address, "fe80::1%lo");
    EXPECT_EQ(local.withoutZone, "fe80::1");
}

TEST(LocalAddressChooser, ResolveRefusesWhatIsNoAddress) {
    LocalAddress local;
    std::string error;
    EXPECT_FALSE(LocalAddressChooser::resolve("", "host", local, error));
    EXPECT_EQ(error, "Failed to set SocketAddress=[].");
}

}  // namespace
