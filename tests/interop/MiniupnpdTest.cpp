// UPnP control against a real gateway: miniupnpd runs in a network namespace of its own with a
// LAN link to a second namespace, from which the controller discovers it by multicast.
#include "natt/UPnPController.h"

#include "ProgramSupport.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

using namespace std::chrono_literals;

namespace {

constexpr const char* kGatewayLAN = "10.77.0.1";
constexpr const char* kClientLAN = "10.77.0.2";
constexpr const char* kExternal = "11.22.33.44";

// The chains miniupnpd fills in with its mappings.
constexpr const char* kRuleset =
    "table inet filter {\n"
    " chain forward { type filter hook forward priority 0; policy accept; jump miniupnpd; }\n"
    " chain miniupnpd { }\n"
    " chain prerouting { type nat hook prerouting priority -100; policy accept; jump prerouting_miniupnpd; }\n"
    " chain postrouting { type nat hook postrouting priority 100; policy accept; jump postrouting_miniupnpd; }\n"
    " chain prerouting_miniupnpd { }\n"
    " chain postrouting_miniupnpd { }\n"
    "}\n";

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

// Two namespaces: the gateway's, with a LAN veth and a WAN veth pair, and the client's on the
// other end of the LAN link. Removed again on every path.
class GatewayNetwork {
public:
    GatewayNetwork()
        : suffix_(std::to_string(::getpid())), gateway_("tgw" + suffix_), client_("tlan" + suffix_) {
        const std::string g = "ip -n " + gateway_ + " ";
        const std::string c = "ip -n " + client_ + " ";
        ready_ = run("ip netns add " + gateway_) && run("ip netns add " + client_) &&
                 run("ip link add gl" + suffix_ + " netns " + gateway_ + " type veth peer name cl" + suffix_ +
                     " netns " + client_) &&
                 run(g + "link add gw" + suffix_ + " type veth peer name gx" + suffix_) &&
                 run(g + "link set lo up") && run(g + "link set gl" + suffix_ + " up") &&
                 run(g + "addr add " + kGatewayLAN + "/24 dev gl" + suffix_) && run(g + "link set gw" + suffix_ + " up") &&
                 run(g + "link set gx" + suffix_ + " up") && run(g + "addr add " + kExternal + "/24 dev gw" + suffix_) &&
                 run(g + "route add default via 11.22.33.1 dev gw" + suffix_) && run(c + "link set lo up") &&
                 run(c + "link set cl" + suffix_ + " up") && run(c + "addr add " + kClientLAN + "/24 dev cl" + suffix_) &&
                 run(c + "route add 224.0.0.0/4 dev cl" + suffix_) &&
                 run("ip netns exec " + gateway_ + " nft -f - <<'EOF'\n" + kRuleset + "EOF");
    }
    ~GatewayNetwork() {
        run("ip netns del " + gateway_ + " 2>/dev/null");
        run("ip netns del " + client_ + " 2>/dev/null");
    }

    bool ready() const { return ready_; }
    const std::string& gateway() const { return gateway_; }
    std::string lanInterface() const { return "gl" + suffix_; }
    std::string wanInterface() const { return "gw" + suffix_; }
    // Moves the calling thread (and the threads it starts) into the client's namespace.
    bool enterClient() const {
        const int handle = ::open(("/run/netns/" + client_).c_str(), O_RDONLY | O_CLOEXEC);
        const bool entered = handle >= 0 && ::setns(handle, CLONE_NEWNET) == 0;
        if (handle >= 0) ::close(handle);
        return entered;
    }

private:
    std::string suffix_;
    std::string gateway_;
    std::string client_;
    bool ready_ = false;
};

TEST(Miniupnpd, DiscoveredByMulticastAndControlledThroughItsDescription) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for network namespaces";
    GatewayNetwork network;
    ASSERT_TRUE(network.ready());
    const auto dir = tessaly_interop::freshDirectory("miniupnpd");
    {
        std::ofstream conf(dir / "miniupnpd.conf");
        conf << "ext_ifname=" << network.wanInterface() << "\nlistening_ip=" << network.lanInterface()
             << "\nupnp_table_name=filter\nupnp_nat_table_name=filter\nupnp_forward_chain=miniupnpd\n"
                "upnp_nat_chain=prerouting_miniupnpd\nupnp_nat_postrouting_chain=postrouting_miniupnpd\n"
                "port=5555\nenable_natpmp=no\nenable_upnp=yes\nsecure_mode=no\nsystem_uptime=yes\n"
                "uuid=3d3cec3a-8cf0-11e0-98ee-001a6bd2d07b\nallow 1024-65535 10.77.0.0/24 1024-65535\n"
                "deny 0-65535 0.0.0.0/0 0-65535\n";
    }
    tessaly_interop::ChildProcess gateway({"/usr/sbin/ip", "netns", "exec", network.gateway(), TESSALY_MINIUPNPD, "-d",
                                           "-f", (dir / "miniupnpd.conf").string(), "-P", (dir / "pid").string()},
                                          dir / "miniupnpd.log");
    ASSERT_TRUE(gateway.started());
    ASSERT_TRUE(tessaly_interop::waitForText(dir / "miniupnpd.log", "HTTP listening on port", 10s))
        << tessaly_interop::readText(dir / "miniupnpd.log");
    ASSERT_TRUE(network.enterClient());

    UPnPController controller;
    controller.setTimeouts(2, 2, 2, 2);
    ASSERT_TRUE(controller.getControlURL(kClientLAN)) << tessaly_interop::readText(dir / "miniupnpd.log");
    // It answers the search for the first version but describes the second.
    EXPECT_EQ(controller.getServiceType().rfind("urn:schemas-upnp-org:service:WANIPConnection:", 0), 0u)
        << controller.getServiceType();
    EXPECT_EQ(controller.getControlURLParts().host, kGatewayLAN);
    EXPECT_EQ(controller.getControlURLParts().port, 5555);

    std::string external;
    ASSERT_TRUE(controller.getExternalIPAddress(external));
    EXPECT_EQ(external, kExternal);

    // The mapping reaches the gateway's ruleset and goes again with the controller's list.
    const std::string natChain = "ip netns exec " + network.gateway() + " nft list chain inet filter prerouting_miniupnpd";
    ASSERT_TRUE(controller.addPortMapping(40000, "UDP", 40000, kClientLAN, "Tessaly_test_UDP_40000", 0))
        << controller.getErrorCode() << " " << controller.getErrorDescription();
    EXPECT_TRUE(run(natChain + " | grep -q 'dport 40000'"));
    std::vector<UPnPPortData> listed;
    EXPECT_EQ(controller.getPortMappings(listed, "Tessaly_test_"), 1);
    EXPECT_EQ(listed, (std::vector<UPnPPortData>{{40000, "UDP"}}));
    EXPECT_TRUE(controller.deleteAddedPortMappings());
    EXPECT_FALSE(run(natChain + " | grep -q 'dport 40000'"));
    listed.clear();
    EXPECT_EQ(controller.getPortMappings(listed, "Tessaly_test_"), 0);
}

}  // namespace
