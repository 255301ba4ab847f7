#include "natt/SSDPController.h"

#include "kel_util/HTTPMessage.h"
#include "kel_util/Log.h"
#include "kel_util/SocketException.h"

#include <netinet/in.h>

#include <algorithm>
#include <vector>

using kel_util::logPrint;
using kel_util::SocketException;

namespace {

constexpr int kMultiCastTTL = 1;

}  // namespace

bool SSDPController::search(const std::string& deviceAddress, const std::string& sourceAddress, int timeoutSec,
                            Answer& answer) {
    const bool opened = deviceAddress.empty() ? openMulti(sourceAddress) : open(deviceAddress, sourceAddress);
    if (!opened) return false;
    const int mx = std::max(timeoutSec - 1, 1);
    const bool found = sendSearch(kWANPPPConnection, mx) && sendSearch(kWANIPConnection, mx) && receive(timeoutSec, answer);
    socket_.close();
    return found;
}

bool SSDPController::bindSource(const std::string& sourceAddress, int family) {
    kel_util::SocketAddress source(family);
    if (!sourceAddress.empty() && !source.set(0, sourceAddress.c_str(), family)) {
        logPrint(kel_util::MIN, "SSDPController::open. Failed set SocketAddress, SourceAddress=[%s].\n",
                 sourceAddress.c_str());
        return false;
    }
    try {
        socket_.openAndBind(source);
        return true;
    } catch (const SocketException& e) {
        logPrint(kel_util::MIN, "SSDPController::open. Failed bind, SourceAddress=[%s], SocketException: [%s].\n",
                 sourceAddress.c_str(), e.what());
        return false;
    }
}

bool SSDPController::openMulti(const std::string& sourceAddress) {
    destination_ = kel_util::SocketAddress(AF_INET);
    destination_.set(kPort, kMultiCastAddress, AF_INET);
    if (!bindSource(sourceAddress, AF_INET)) return false;
    try {
        socket_.setOption(IPPROTO_IP, IP_MULTICAST_TTL, kMultiCastTTL);
        if (!sourceAddress.empty()) {
            // Sent out of the interface of the source address, whatever the routes say.
            const in_addr interface = reinterpret_cast<const sockaddr_in*>(socket_.getLocalAddress().get())->sin_addr;
            if (::setsockopt(socket_.getHandle(), IPPROTO_IP, IP_MULTICAST_IF, &interface, sizeof interface) != 0) {
                throw SocketException::fromError(SocketException::SET_OPTION, errno);
            }
        }
        return true;
    } catch (const SocketException& e) {
        logPrint(kel_util::MIN,
                 "SSDPController::openMulti. Failed setMultiCast, MulitCast MultiCastAddress=[%s], TTL=%d, "
                 "SocketException: [%s].\n",
                 kMultiCastAddress, kMultiCastTTL, e.what());
        socket_.close();
        return false;
    }
}

bool SSDPController::open(const std::string& deviceAddress, const std::string& sourceAddress) {
    destination_ = kel_util::SocketAddress(AF_INET);
    if (!destination_.set(kPort, deviceAddress.c_str(), AF_UNSPEC)) {
        logPrint(kel_util::MIN, "SSDPController::open. Failed set SocketAddress, DeviceAddress=[%s].\n",
                 deviceAddress.c_str());
        return false;
    }
    return bindSource(sourceAddress, destination_.getFamily());
}

bool SSDPController::sendSearch(const char* serviceType, int mx) {
    const std::string request = std::string("M-SEARCH * HTTP/1.1\r\n") + "MX: " + std::to_string(mx) + "\r\n" +
                                "HOST: " + destination_.toString() + "\r\n" + "MAN: \"ssdp:discover\"\r\n" +
                                "ST: " + serviceType + "\r\n\r\n";
    try {
        socket_.sendTo(request.data(), static_cast<int>(request.size()), destination_, std::chrono::milliseconds(-1));
        return true;
    } catch (const SocketException& e) {
        logPrint(kel_util::MIN, "SSDPController::send. Failed sendTo, Destination=[%s], SocketException: [%s].\n",
                 destination_.toString().c_str(), e.what());
        socket_.close();
        return false;
    }
}

bool SSDPController::receive(int timeoutSec, Answer& answer) {
    std::vector<char> buffer(65535);
    kel_util::SocketAddress from;
    int length = 0;
    try {
        length = socket_.receiveFrom(buffer.data(), static_cast<int>(buffer.size()), from,
                                     std::chrono::milliseconds(std::max(timeoutSec, 1) * 1000L));
    } catch (const SocketException& e) {
        logPrint(kel_util::MIN, "SSDPController::receive. SocketException: [%s].\n", e.what());
        return false;
    }
    if (length <= 0) {
        logPrint(kel_util::MIN, "SSDPController::receive. Timed out.\n");
        return false;
    }
    kel_util::HTTPMessage message;
    if (!message.parse(buffer.data(), length)) {
        logPrint(kel_util::MIN, "SSDPController::receive. Invalid answer from [%s].\n", from.toString().c_str());
        return false;
    }
    const std::string* serviceType = message.headers.getValue("ST", kel_util::RFC822ValueList::First);
    if (serviceType == nullptr) {
        logPrint(kel_util::MIN, "SSDPController::receive. No ST Header.\n");
        return false;
    }
    const std::string* location = message.headers.getValue("Location", kel_util::RFC822ValueList::First);
    if (location == nullptr) {
        logPrint(kel_util::MIN, "SSDPController::receive. No Location Header.\n");
        return false;
    }
    answer = {*location, *serviceType};
    return true;
}
