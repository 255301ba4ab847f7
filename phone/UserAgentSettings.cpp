#include "phone/UserAgentSettings.h"

#include <chrono>

#include "kel_sip/syntax/SipHostPort.h"
#include "kel_util/Log.h"

template <typename Set>
void UserAgentSettings::forEachUsage(Set set) {
    set(static_cast<kel_sip::SipSessionController&>(agent_));
    set(static_cast<kel_sip::SipRegistrantController&>(agent_));
    set(static_cast<UserAgentSubscriptions&>(agent_));
    set(static_cast<kel_sip::SipPublisherController&>(agent_));
}

void UserAgentSettings::setTimers(int t1, int t2, int t4, int td, int cancelTimeout) {
    agent_.transactionController().setTimers(t1, t2, t4, td);
    // The call usage retransmits its 2xx to INVITE itself (RFC 3261 section 13.3.1.4).
    kel_sip::SipSessionController& session = agent_;
    session.setTimerT1(t1);
    session.setTimerT2(t2);
    session.setCancelTimeout(cancelTimeout);
}

void UserAgentSettings::setTCPParams(int connectionTimeoutSec, int connectMSec, int receiveMSec, int sendMSec,
                                     int acceptMSec) {
    using std::chrono::milliseconds;
    kel_sip::SipConnection::setConnectTimeout(milliseconds(connectMSec));
    kel_sip::SipConnection::setReceiveTimeout(milliseconds(receiveMSec));
    kel_sip::SipConnection::setSendTimeout(milliseconds(sendMSec));
    agent_.tcpTransport().getHandler().setConnectionTimeoutSec(connectionTimeoutSec);
    agent_.tcpTransport().getHandler().setAcceptTimeout(milliseconds(acceptMSec));
}

void UserAgentSettings::setTCPMaxConnection(int maxConnections) {
    agent_.tcpTransport().getHandler().setMaxConnection(maxConnections);
}

// What the call usage makes of a received INVITE's 100rel and session timer, and its Allow
// header; the originating side's values, Replaces, privacy and call waiting belong to the call
// logic, which reads them from the settings with each call.
void UserAgentSettings::setSessionOptions(const OptionSettings& options, bool setAllow) {
    kel_sip::SipSessionController& session = agent_;
    session.setProcess100rel(options.process100rel);
    session.setTerm100relProcessType(options.term100relProcessType);
    session.setProcessSessionTimer(options.processSessionTimer);
    session.setTermSessionTimerProcessType(options.termSessionTimerProcessType);
    session.setMinSE(options.minSE);
    session.setSessionTimerStartType(options.sessionTimerStartType);
    session.setUseUpdateSessionRefresh(options.useUpdateSessionRefresh);
    session.setSetAllow(setAllow);
}

void UserAgentSettings::setViaFlags(bool rport, bool connectionSourcePort, bool alias) {
    agent_.udpTransport().setViaRPort(rport);
    agent_.tcpTransport().setViaRPort(rport);
    agent_.tcpTransport().setViaConnectionSrcPort(connectionSourcePort);
    agent_.tcpTransport().setViaAlias(alias);
}

bool UserAgentSettings::setViaParams(const std::string& params) {
    const bool udp = agent_.udpTransport().setViaParams(params.c_str());
    const bool tcp = agent_.tcpTransport().setViaParams(params.c_str());
    return udp && tcp;
}

void UserAgentSettings::setInitialLocalSeqNo(int seqNo) {
    forEachUsage([&](kel_sip::TransactionUserExt& usage) { usage.setInitialLocalSeqNo(seqNo); });
}

void UserAgentSettings::setMaxForwards(int maxForwards) {
    forEachUsage([&](kel_sip::TransactionUserExt& usage) { usage.setMaxForwards(maxForwards); });
}

void UserAgentSettings::setDefaultTransportType(int transportType) {
    forEachUsage([&](kel_sip::TransactionUserExt& usage) { usage.setDefaultTransport(transportType); });
}

void UserAgentSettings::setLocalTag(const std::string& tag) {
    forEachUsage([&](kel_sip::TransactionUserExt& usage) { usage.setLocalTag(tag); });
}

void UserAgentSettings::setCallIDHost(const std::string& host) {
    if (host.empty()) return;
    forEachUsage([&](kel_sip::TransactionUserExt& usage) { usage.setHostName(host); });
}

void UserAgentSettings::setUpdateAddresses(bool updateFrom, bool updateTo) {
    forEachUsage([&](kel_sip::TransactionUserExt& usage) {
        usage.setUpdateFromAddress(updateFrom);
        usage.setUpdateToAddress(updateTo);
    });
}

void UserAgentSettings::setOutboundProxy(const std::optional<kel_sip::SipPeerAddress>& proxy) {
    static_cast<kel_sip::SipSessionController&>(agent_).setOutboundPeer(proxy);
    static_cast<UserAgentSubscriptions&>(agent_).setOutboundPeer(proxy);
}

std::optional<kel_sip::SipPeerAddress> UserAgentSettings::outboundProxyOf(const ExtensionSettings& extension) {
    if (!extension.useOutBoundProxy || extension.outBoundProxy.empty()) return std::nullopt;
    kel_sip::SipHostPort hostPort;
    try {
        hostPort.parse(extension.outBoundProxy.data(), static_cast<int>(extension.outBoundProxy.size()), true);
    } catch (const kel_sip::SipParseException&) {
        kel_util::logPrint(kel_util::MAJ, "UserAgentSettings::outboundProxyOf. Invalid OutBoundProxy %s.\n",
                           extension.outBoundProxy.c_str());
        return std::nullopt;
    }
    return kel_sip::SipPeerAddress{std::string(kel_sip::bareHost(hostPort.host)),
                                   hostPort.port > 0 ? hostPort.port : 5060};
}

void UserAgentSettings::setUnregisterByWildCard(bool wildCard) {
    static_cast<kel_sip::SipRegistrantController&>(agent_).setUnregisterByWildCard(wildCard);
}
