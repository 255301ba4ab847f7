// A UDP socket on 127.0.0.1 playing a bare SIP peer for the phone's tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

// A UDP socket on 127.0.0.1 that sends requests and reads the answers, or plays a server.
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
        send(port, text);
        return receive();
    }

    // Sends text to port on 127.0.0.1.
    void send(int port, const std::string& text) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(static_cast<uint16_t>(port));
        ::sendto(fd_, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    // The next datagram, empty after 5 s.
    std::string receive() {
        pollfd poller{fd_, POLLIN, 0};
        if (::poll(&poller, 1, 5000) != 1) return {};
        char buffer[4096];
        const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
        return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
    }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};
