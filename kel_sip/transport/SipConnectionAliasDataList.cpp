#include "kel_sip/transport/SipConnectionAliasDataList.h"

#include "kel_util/Log.h"
#include "kel_util/SocketException.h"

namespace kel_sip {

namespace {

bool hostOf(const kel_util::SocketAddress& address, std::string& host) {
    try {
        host = address.getHost();
        return true;
    } catch (const kel_util::SocketException&) {
        return false;
    }
}

}  // namespace

int SipConnectionAliasDataList::add(const kel_util::SocketAddress& address, int connectionId) {
    std::string host;
    if (!hostOf(address, host)) return -1;
    auto& ports = hosts_[host];
    if (ports.count(address.getPort()) != 0) return 0;
    int& aliases = perConnection_[connectionId];
    if (aliases >= kMaxPerConnection) {
        if (ports.empty()) hosts_.erase(host);
        kel_util::logPrint(kel_util::MIN,
                           "SipConnectionAliasDataList::add. Too many aliases, address=[%s], ConnectionID=%d.\n",
                           address.toString().c_str(), connectionId);
        return -1;
    }
    ports.emplace(address.getPort(), SipConnectionAliasData{address, connectionId});
    ++aliases;
    ++count_;
    return 1;
}

int SipConnectionAliasDataList::find(const kel_util::SocketAddress& address) const {
    std::string host;
    if (!hostOf(address, host)) return 0;
    const auto ports = hosts_.find(host);
    if (ports == hosts_.end()) return 0;
    const auto alias = ports->second.find(address.getPort());
    return alias == ports->second.end() ? 0 : alias->second.connectionId;
}

int SipConnectionAliasDataList::remove(int connectionId) {
    const auto owned = perConnection_.find(connectionId);
    if (owned == perConnection_.end()) return 0;
    perConnection_.erase(owned);
    int removed = 0;
    for (auto host = hosts_.begin(); host != hosts_.end();) {
        auto& ports = host->second;
        for (auto port = ports.begin(); port != ports.end();) {
            if (port->second.connectionId == connectionId) {
                port = ports.erase(port);
                ++removed;
            } else {
                ++port;
            }
        }
        host = ports.empty() ? hosts_.erase(host) : std::next(host);
    }
    count_ -= removed;
    return removed;
}

}  // namespace kel_sip
