#include "kel_util/HTTPConnection.h"

#include "kel_util/Log.h"
#include "kel_util/SocketAddress.h"
#include "kel_util/SocketException.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace kel_util {

namespace {

std::chrono::milliseconds toTimeout(int seconds) { return std::chrono::milliseconds(std::max(seconds, 1) * 1000L); }

}  // namespace

int HTTPConnection::doHTTPRequest(const HTTPRequest& request, const HTTPTimeouts& timeouts, HTTPMessage& response) {
    connectTimeout_ = toTimeout(timeouts.connectSec);
    sendTimeout_ = toTimeout(timeouts.sendSec);
    receiveTimeout_ = toTimeout(timeouts.receiveSec);
    response.reset();
    int result = 0;
    try {
        if (!openConnect(request.host, request.port)) {
            logPrint(MIN, "HTTPConnection::doHTTPRequest. Failed openConnect.\n");
        } else if (const int sent = sendRequest(request); sent <= 0) {
            logPrint(MIN, "HTTPConnection::doHTTPRequest. Failed sendRequest, result=%d.\n", sent);
        } else if (result = receive(response); result <= 0) {
            logPrint(MIN, "HTTPConnection::doHTTPRequest. Failed receive, result=%d.\n", result);
        } else {
            logPrint(DET, "HTTPConnection::doHTTPRequest. Succeeded receive, result=%d, StatusCode=%d.\n", result,
                     response.statusCode);
            result = response.statusCode;
        }
    } catch (const SocketException& e) {
        logPrint(MIN, "HTTPConnection::doHTTPRequest. SocketException: [%s].\n", e.what());
        result = -1;
    }
    socket_.close();
    return result;
}

bool HTTPConnection::openConnect(const std::string& host, int port) {
    if (port <= 0) port = 80;
    SocketAddress address(AF_INET);
    if (!address.set(port, host.c_str(), AF_UNSPEC)) {
        logPrint(MIN, "HTTPConnection::openConnect. Failed set SocketAddress, Host=[%s], Port=%d.\n", host.c_str(), port);
        return false;
    }
    socket_.close();
    try {
        socket_.open(address.getFamily(), SOCK_STREAM);
        if (socket_.connect(address, connectTimeout_)) return true;
        logPrint(MIN, "HTTPConnection::openConnect. Connect timed out, Host=[%s], Port=%d.\n", host.c_str(), port);
    } catch (const SocketException& e) {
        logPrint(MIN, "HTTPConnection::openConnect. Failed connect, Host=[%s], Port=%d, SocketException [%s].\n",
                 host.c_str(), port, e.what());
    }
    socket_.close();
    return false;
}

std::string HTTPConnection::printHead(const HTTPRequest& request) {
    const std::string version = request.version.empty() ? "HTTP/1.1" : request.version;
    std::string head = request.method + " " + request.requestURI + " " + version + "\r\n";
    if (version == "HTTP/1.1") {
        head += "HOST: " + request.host + ":" + std::to_string(request.port <= 0 ? 80 : request.port) + "\r\n";
    }
    request.headers.print(head);
    if (!request.contentType.empty()) head += "Content-Type: " + request.contentType + "\r\n";
    head += "Content-Length: " + std::to_string(request.body.size()) + "\r\n\r\n";
    return head;
}

int HTTPConnection::sendRequest(const HTTPRequest& request) {
    const std::string head = printHead(request);
    if (isLogged(DBG)) {
        logDump(DBG, head.data(), static_cast<int>(head.size()), "HTTPConnection::sendRequest. Dumping sending header.\n",
                "< ");
    }
    const int headSent = sendAll(head);
    if (headSent <= 0 || request.body.empty()) return headSent;
    const int bodySent = sendAll(request.body);
    return bodySent <= 0 ? 0 : headSent + bodySent;
}

int HTTPConnection::sendAll(const std::string& data) {
    const auto deadline = std::chrono::steady_clock::now() + sendTimeout_;
    size_t sent = 0;
    while (sent < data.size()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !socket_.wait(Socket::Readiness::WRITABLE, left)) return 0;
        // Without blocking: a peer that stops reading must not hold the send past its time-out.
        const int count = socket_.send(data.data() + sent, static_cast<int>(data.size() - sent), MSG_DONTWAIT);
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (count <= 0) return 0;
        sent += static_cast<size_t>(count);
    }
    return static_cast<int>(sent);
}

int HTTPConnection::receive(HTTPMessage& response) {
    std::string received;
    try {
        const int result = response.receive(socket_, receiveTimeout_, received);
        if (isLogged(DBG) && !received.empty()) {
            logDump(DBG, received.data(), static_cast<int>(received.size()),
                    "HTTPConnection::receive. Dumping received data.\n", "> ");
        }
        return result;
    } catch (const SocketException& e) {
        logPrint(MIN, "HTTPConnection::receive. SocketException [%s](%d).\n", e.what(), e.getCode());
        throw;
    }
}

}  // namespace kel_util
