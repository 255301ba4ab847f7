#include "ControllerTestKit.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include <gtest/gtest.h>

#include "TransactionTestKit.h"

namespace kel_sip::test {

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

RecordingUser::RecordingUser() {
    setName("RecordingUser");
    init(1, false);
}

RecordingUser::~RecordingUser() { clean(); }

bool RecordingUser::waitForCount(std::size_t count, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, limit, [&] { return events_.size() >= count; });
}

std::size_t RecordingUser::count() {
    std::lock_guard lock(mutex_);
    return events_.size();
}

UserEvent RecordingUser::event(std::size_t index) {
    std::lock_guard lock(mutex_);
    return index < events_.size() ? events_[index] : UserEvent{};
}

void RecordingUser::onEvent(int, int type, intptr_t param1, intptr_t param2, intptr_t param3, const void*) {
    std::shared_ptr<SipMessageExt> message(reinterpret_cast<SipMessageExt*>(param1));
    std::lock_guard lock(mutex_);
    events_.push_back({type, std::move(message), static_cast<int>(param2), static_cast<int>(param3)});
    arrived_.notify_all();
}

void RecordingUser::onEventClean(int, int, intptr_t param1, intptr_t, intptr_t, const void*) {
    delete reinterpret_cast<SipMessageExt*>(param1);
}

Stack::Stack(bool withDefaultUser, TransactionTimerValues timers)
    : controller(withDefaultUser ? &user : nullptr), transport(controller, 0) {
    controller.setTimers(timers.t1, timers.t2, timers.t4, timers.td);
    EXPECT_TRUE(controller.init(2));
    EXPECT_TRUE(transport.open("127.0.0.1", 0, "127.0.0.1", AF_INET, false));
    EXPECT_TRUE(controller.addUDPTransport(&transport));
    port = transport.getLocalAddress().getPort();
}

Stack::~Stack() {
    transport.close();
    controller.clean();
}

std::unique_ptr<SipMessageExt> Stack::request(const std::string& method, int toPort, const std::string& branch,
                                              const std::string& cseqMethod) const {
    const std::string uri = "sip:bob@127.0.0.1:" + std::to_string(toPort);
    return parseMessage(method + " " + uri + " SIP/2.0\n"
                        "Via: SIP/2.0/UDP 127.0.0.1:" + std::to_string(port) + ";branch=" + branch + "\n"
                        "Max-Forwards: 70\n"
                        "From: <sip:alice@127.0.0.1>;tag=a11ce\n"
                        "To: <" + uri + ">\n"
                        "Call-ID: " + branch + "@127.0.0.1\n"
                        "CSeq: 1 " + (cseqMethod.empty() ? method : cseqMethod) + "\n"
                        "Content-Length: 0\n\n");
}

RawPeer::RawPeer() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    EXPECT_EQ(::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length), 0);
    port = ntohs(address.sin_port);
}

RawPeer::~RawPeer() { ::close(fd_); }

void RawPeer::send(const std::string& text, int toPort) {
    std::string wire;
    for (char c : text) {
        if (c == '\n') wire += '\r';
        wire += c;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(toPort));
    EXPECT_EQ(::sendto(fd_, wire.data(), wire.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address),
              static_cast<ssize_t>(wire.size()));
}

std::unique_ptr<SipMessageExt> RawPeer::receive(std::chrono::milliseconds limit) {
    pollfd waiting{fd_, POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(limit.count())) != 1) return nullptr;
    char buffer[65536];
    const ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
    if (count <= 0) return nullptr;
    auto message = std::make_unique<SipMessageExt>();
    std::string reason;
    if (!message->parse(buffer, static_cast<int>(count), reason)) return nullptr;
    return message;
}

}  // namespace kel_sip::test
