#include "phone/PhoneStack.h"

#include "kel_sip/syntax/SipMethod.h"
#include "phone/PseudoSipResponder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// A UDP socket on 127.0.0.1 that sends one request and reads the answer.
class UdpPeer {
public:
    UdpPeer() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~UdpPeer() { ::close(fd_); }

    // Sends a request of method to port and returns the first answer, empty after 5 s.
    std::string ask(int port, const std::string& method, const std::string& branch) {
        const std::string text = method + " sip:bob@127.0.0.1:" + std::to_string(port) + " SIP/2.0\r\n"
                                 "Via: SIP/2.0/UDP 127.0.0.1:" + std::to_string(port_) + ";branch=" + branch + "\r\n"
                                 "Max-Forwards: 70\r\nFrom: <sip:alice@127.0.0.1>;tag=a11ce\r\n"
                                 "To: <sip:bob@127.0.0.1>\r\nCall-ID: " + branch + "@127.0.0.1\r\n"
                                 "CSeq: 1 " + method + "\r\nContent-Length: 0\r\n\r\n";
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(static_cast<uint16_t>(port));
        ::sendto(fd_, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        pollfd poller{fd_, POLLIN, 0};
        if (::poll(&poller, 1, 5000) != 1) return {};
        char buffer[4096];
        const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
        return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

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
