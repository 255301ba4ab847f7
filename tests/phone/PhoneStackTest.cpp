#include "phone/PhoneStack.h"

#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/usage/SipSessionTypes.h"
#include "phone/PseudoSipResponder.h"
#include "phone/SettingsApplier.h"
#include "UdpPeer.h"
#include "../kel_sip/syntax/SipTestUtil.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kel_sip::test::parsed;

LocalAddress loopback() {
    LocalAddress local;
    std::string error;
    EXPECT_TRUE(LocalAddressChooser::resolve("127.0.0.1", "localhost", local, error));
    return local;
}

Settings settingsWith(bool registrar, bool messenger, bool info, int port = 0) {
    Settings settings;
    settings.sip.sipUDPPort = port;
    settings.response.usePseudoRegistrar = registrar;
    settings.response.usePseudoMessengerar = messenger;
    settings.response.usePseudoInfoerar = info;
    return settings;
}

TEST(PhoneStack, RunsOnlyTheSwitchedOnServersAndAnswersThroughThem) {
    PhoneStack stack;
    std::string error;
    ASSERT_TRUE(stack.start(settingsWith(false, true, false), loopback(), error)) << error;
    EXPECT_EQ(stack.pseudoServerNames(), std::vector<std::string>{"PseudoSipMessengerar"});
    UdpPeer peer;
    const std::string answer = peer.ask(stack.udpPort(), "MESSAGE", "z9hG4bK00000001");
    EXPECT_EQ(answer.rfind("SIP/2.0 200 ", 0), 0u) << answer;
    EXPECT_NE(answer.find(";tag="), std::string::npos) << answer;
    // No registrar runs: a REGISTER gets no 200.
    EXPECT_EQ(peer.ask(stack.udpPort(), "REGISTER", "z9hG4bK00000002").rfind("SIP/2.0 200 ", 0), std::string::npos);
    stack.stop();
    EXPECT_FALSE(stack.isRunning());
    EXPECT_EQ(stack.udpPort(), -1);
}

// The settings reach the stack before it starts: the start must keep what they set.
TEST(PhoneStack, StartKeepsTheStackSettingsAndTurnsAlwaysRSeqOn) {
    const LocalAddress local = loopback();
    struct Case {
        std::string callIDHost;
        std::string expected;
    };
    for (const Case& c : {Case{"calls.example", "calls.example"}, Case{"", local.hostName}}) {
        PhoneStack stack;
        Settings settings = settingsWith(false, false, false);
        settings.sip.callIDHost = c.callIDHost;
        settings.sip.timerT1 = 150;
        settings.sip.timerTD = 9100;
        settings.sip.maxForwards = 17;
        settings.sip.setAllow = true;
        settings.option.minSE = 90;
        SettingsApplier::applyStackSettings(settings, stack.settingsTarget());
        std::string error;
        ASSERT_TRUE(stack.start(settings, local, error)) << error;
        UserAgent& agent = stack.userAgent();
        EXPECT_EQ(static_cast<kel_sip::SipSessionController&>(agent).getHostName(), c.expected);
        EXPECT_EQ(static_cast<kel_sip::SipRegistrantController&>(agent).getHostName(), c.expected);
        EXPECT_EQ(static_cast<UserAgentSubscriptions&>(agent).getHostName(), c.expected);
        EXPECT_EQ(static_cast<kel_sip::SipPublisherController&>(agent).getHostName(), c.expected);
        EXPECT_TRUE(agent.getAlwaysRSeq());
        EXPECT_EQ(agent.transactionController().timerValues().t1, 150);
        EXPECT_EQ(agent.transactionController().timerValues().td, 9100);
        EXPECT_EQ(agent.getTimerT1(), 150);
        EXPECT_EQ(static_cast<kel_sip::SipRegistrantController&>(agent).getMaxForwards(), 17);
        EXPECT_TRUE(agent.getSetAllow());
        EXPECT_EQ(agent.getSessionTimerDefaults().minSE, 90);
    }
}

// UseOutBoundProxy at start-up: the proxy the settings name is the next hop of calls and
// subscriptions; off, empty or not parsing, there is none.
TEST(PhoneStack, StartTakesTheOutboundProxyOfTheSettings) {
    struct Case {
        bool use;
        std::string proxy;
        std::optional<kel_sip::SipPeerAddress> expected;
    };
    const Case cases[] = {
        {true, "192.0.2.7:5070", kel_sip::SipPeerAddress{"192.0.2.7", 5070}},
        {true, "proxy.example", kel_sip::SipPeerAddress{"proxy.example", 5060}},
        {true, "[::1]:5080", kel_sip::SipPeerAddress{"::1", 5080}},
        {false, "192.0.2.7:5070", std::nullopt},
        {true, "", std::nullopt},
        {true, "bad host:99999", std::nullopt},
    };
    for (const Case& c : cases) {
        PhoneStack stack;
        Settings settings = settingsWith(false, false, false);
        settings.extension.useOutBoundProxy = c.use;
        settings.extension.outBoundProxy = c.proxy;
        std::string error;
        ASSERT_TRUE(stack.start(settings, loopback(), error)) << error;
        UserAgent& agent = stack.userAgent();
        EXPECT_EQ(static_cast<kel_sip::SipSessionController&>(agent).getOutboundPeer(), c.expected) << c.proxy;
        EXPECT_EQ(static_cast<UserAgentSubscriptions&>(agent).getOutboundPeer(), c.expected) << c.proxy;
    }
}

// A call to a host that does not resolve still goes out: to the proxy.
TEST(PhoneStack, CallGoesToTheOutboundProxyInsteadOfTheRequestUriHost) {
    UdpPeer proxy;
    Settings settings = settingsWith(false, false, false);
    settings.extension.useOutBoundProxy = true;
    settings.extension.outBoundProxy = "127.0.0.1:" + std::to_string(proxy.port());
    PhoneStack stack;
    std::string error;
    ASSERT_TRUE(stack.start(settings, loopback(), error)) << error;
    kel_sip::SipDialogStart start;
    start.requestUri = parsed<kel_sip::SipURI>("sip:nobody@unreachable.invalid");
    start.localParty = parsed<kel_sip::SipFromTo>("<sip:alice@127.0.0.1>");
    start.remoteParty = parsed<kel_sip::SipFromTo>("<sip:nobody@unreachable.invalid>");
    start.localContact = parsed<kel_sip::SipAddress>("<sip:alice@127.0.0.1:" + std::to_string(stack.udpPort()) + ">");
    ASSERT_GT(stack.userAgent().invite(start, kel_sip::InviteOrder{}), 0);
    const std::string sent = proxy.receive();
    EXPECT_EQ(sent.rfind("INVITE sip:nobody@unreachable.invalid SIP/2.0\r\n", 0), 0u) << sent;
}

TEST(PhoneStack, StartsAgainAfterStopWithOtherServers) {
    PhoneStack stack;
    std::string error;
    ASSERT_TRUE(stack.start(settingsWith(true, true, true), loopback(), error)) << error;
    stack.stop();
    ASSERT_TRUE(stack.start(settingsWith(false, false, true), loopback(), error)) << error;
    EXPECT_EQ(stack.pseudoServerNames(), std::vector<std::string>{"PseudoSipInfoerar"});
    UdpPeer peer;
    const std::string answer = peer.ask(stack.udpPort(), "INFO", "z9hG4bK00000003");
    EXPECT_EQ(answer.rfind("SIP/2.0 200 ", 0), 0u) << answer;
}

TEST(PhoneStack, PortTakenFailsWithAReasonAndLeavesNothingRunning) {
    PhoneStack first;
    std::string error;
    ASSERT_TRUE(first.start(settingsWith(true, false, false), loopback(), error)) << error;
    PhoneStack second;
    EXPECT_FALSE(second.start(settingsWith(true, false, false, first.udpPort()), loopback(), error));
    EXPECT_NE(error.find(std::to_string(first.udpPort())), std::string::npos) << error;
    EXPECT_FALSE(second.isRunning());
    EXPECT_TRUE(second.pseudoServerNames().empty());
    // The failed stack can still start on a free port.
    EXPECT_TRUE(second.start(settingsWith(true, false, false), loopback(), error)) << error;
}

TEST(PhoneStack, TcpPortTakenFailsWithAReasonAndTheStackStartsLaterOnAnother) {
    PhoneStack first;
    std::string error;
    Settings settings = settingsWith(true, false, false);
    settings.sip.useTCP = true;
    settings.sip.sipTCPPort = 0;
    ASSERT_TRUE(first.start(settings, loopback(), error)) << error;
    ASSERT_GT(first.tcpPort(), 0);
    PhoneStack second;
    settings.sip.sipTCPPort = first.tcpPort();
    EXPECT_FALSE(second.start(settings, loopback(), error));
    EXPECT_NE(error.find("TCP port " + std::to_string(first.tcpPort())), std::string::npos) << error;
    EXPECT_FALSE(second.isRunning());
    EXPECT_EQ(second.tcpPort(), -1);
    // Its TCP transport starts again after the failure, and after a stop.
    settings.sip.sipTCPPort = 0;
    ASSERT_TRUE(second.start(settings, loopback(), error)) << error;
    second.stop();
    ASSERT_TRUE(second.start(settings, loopback(), error)) << error;
    EXPECT_GT(second.tcpPort(), 0);
}

TEST(PseudoSipResponder, OtherMethodRoutedToItIsAnswered405WithItsOwnMethodAllowed) {
    kel_sip::SipTransactionControllerImpl controller(nullptr);
    kel_sip::SipUDPTransport transport(controller, 0);
    ASSERT_TRUE(controller.addUDPTransport(&transport));
    PseudoSipMessengerar messenger(controller);
    ASSERT_TRUE(messenger.init(1));
    ASSERT_TRUE(messenger.registerMethods({kel_sip::SipMethod::Message}));
    ASSERT_TRUE(controller.addTransactionUser({kel_sip::SipMethod::Options}, &messenger));
    ASSERT_TRUE(controller.init(1));
    ASSERT_TRUE(transport.open("127.0.0.1", 0, "127.0.0.1", AF_INET, false));
    UdpPeer peer;
    const std::string answer = peer.ask(transport.getLocalAddress().getPort(), "OPTIONS", "z9hG4bK00000004");
    EXPECT_EQ(answer.rfind("SIP/2.0 405 ", 0), 0u) << answer;
    EXPECT_NE(answer.find("Allow: MESSAGE"), std::string::npos) << answer;
    // The user's pool stops before the controller deletes the transaction it may still send on.
    transport.close();
    messenger.clean();
    controller.clean();
}

}  // namespace
