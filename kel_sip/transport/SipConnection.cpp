#include "kel_sip/transport/SipConnection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "kel_util/Log.h"
#include "kel_util/MessageCaptor.h"
#include "kel_util/SocketException.h"

using kel_util::DBG;
using kel_util::DET;
using kel_util::logPrint;
using kel_util::MIN;
using kel_util::SocketException;

namespace kel_sip {

std::atomic<std::chrono::milliseconds> SipConnection::connectTimeout_{std::chrono::milliseconds(3000)};
std::atomic<std::chrono::milliseconds> SipConnection::receiveTimeout_{std::chrono::milliseconds(1000)};
std::atomic<std::chrono::milliseconds> SipConnection::sendTimeout_{std::chrono::milliseconds(1000)};

SipConnection::SipConnection(std::unique_ptr<kel_util::Socket> socket, const kel_util::SocketAddress& peer)
    : socket_(std::move(socket)), handle_(socket_->getHandle()), peer_(peer), local_(peer.getFamily()) {
    local_ = socket_->getLocalAddress();
}

SipConnection::~SipConnection() = default;

int SipConnection::send(SipMessageExt& message, int transactionId) {
    std::string bytes;
    message.print(bytes);
    const int length = static_cast<int>(bytes.size());
    if (kel_util::isLogged(DBG)) {
        const std::string header = "SipConnection::send. Dumping sending " + std::string(getTransportName()) +
                                   " data, bytes=" + std::to_string(length) + ", to [" + peer_.toString() +
                                   "], TransactionID=" + std::to_string(transactionId) + ", id=" +
                                   std::to_string(id_) + ".\n";
        kel_util::logDump(DBG, bytes.data(), length, header.c_str(), "< ");
    }
    kel_util::MessageCaptor::captureMessage(bytes.data(), length, kel_util::capture::Direction::SENT,
                                            kel_util::capture::Transport::TCP, local_, peer_);
    if (!sendAll(bytes)) return -1;
    logPrint(DET, "SipConnection::send. Sent bytes=%d, TransactionID=%d, id=%d.\n", length, transactionId, id_);
    return 1;
}

bool SipConnection::sendAll(const std::string& bytes) {
    // Each write takes what the socket buffer holds without blocking, so that a peer that stops
    // reading costs at most the send time-out, never a worker for ever.
    const auto deadline = std::chrono::steady_clock::now() + sendTimeout_.load();
    std::size_t done = 0;
    try {
        while (done < bytes.size()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !socket_->wait(kel_util::Socket::Readiness::WRITABLE, left)) {
                logPrint(MIN, "SipConnection::send. Send timeout, sent=%d of %d, id=%d.\n", static_cast<int>(done),
                         static_cast<int>(bytes.size()), id_);
                return false;
            }
            const int sent = socket_->send(bytes.data() + done, static_cast<int>(bytes.size() - done), MSG_DONTWAIT);
            if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) throw SocketException::fromError(SocketException::SEND, errno);
            if (sent > 0) done += static_cast<std::size_t>(sent);
        }
    } catch (const SocketException& error) {
        logPrint(MIN, "SipConnection::send. SocketException [%s](%d), id=%d.\n", error.toString().c_str(),
                 error.getCode(), id_);
        return false;
    }
    return true;
}

void SipConnection::close() noexcept {
    logPrint(DBG, "SipConnection::close. Closing socket, id=%d.\n", id_);
    socket_->close();
    logPrint(DBG, "SipConnection::close. Closed, id=%d.\n", id_);
}

void SipConnection::shutdown() noexcept {
    try {
        if (socket_->isOpen()) socket_->shutdown(SHUT_RDWR);
    } catch (const SocketException&) {
        // A peer that reset first leaves nothing to shut down.
    }
}

void SipConnection::refuse() noexcept {
    try {
        socket_->shutdown(SHUT_WR);
        // Only what has arrived: a peer that goes on sending costs no more than one buffer.
        socket_->receive(buffer_, kReceiveBufferSize, kel_util::Socket::Timeout(-1));
    } catch (const SocketException&) {
        // Reset or closed already: nothing is left to spare the peer.
    }
}

bool SipConnection::setNoDelay() noexcept {
    try {
        socket_->setOption(IPPROTO_TCP, TCP_NODELAY, 1);
        return true;
    } catch (const SocketException&) {
        return false;
    }
}

bool SipConnection::isDataPending() {
    if (hasBufferedBytes()) {
        logPrint(kel_util::DEV, "SipConnection::isDataPending. Data exits in receive buffer, len=%d, id=%d.\n", length_, id_);
        return true;
    }
    if (!socket_->isOpen() || !socket_->wait(kel_util::Socket::Readiness::READABLE, kel_util::Socket::Timeout(-1))) {
        return false;
    }
    logPrint(kel_util::DEV, "SipConnection::isDataPending. Socket readable, id=%d.\n", id_);
    return true;
}

int SipConnection::fillBuffer() {
    if (length_ >= kReceiveBufferSize) return 0;
    const int received = socket_->receive(buffer_ + length_, kReceiveBufferSize - length_, kel_util::Socket::Timeout(-1));
    length_ += received;
    return received;
}

void SipConnection::consume(int count) noexcept {
    if (count <= 0) return;
    if (count >= length_) {
        length_ = 0;
        return;
    }
    std::memmove(buffer_, buffer_ + count, static_cast<std::size_t>(length_ - count));
    length_ -= count;
}

}  // namespace kel_sip
