#include "phone/PhoneStack.h"

#include "kel_sip/transport/SipTransportHooks.h"
#include "kel_util/Log.h"
#include "phone/PseudoSipRegistrar.h"
#include "phone/PseudoSipResponder.h"

using kel_util::logPrint;

namespace {

constexpr int kUdpTransportId = 0;
constexpr int kTcpTransportId = 0;

}  // namespace

PhoneStack::PhoneStack()
    : controller_(nullptr), udp_(controller_, kUdpTransportId), tcp_(controller_, kTcpTransportId) {}

PhoneStack::~PhoneStack() { stop(); }

bool PhoneStack::start(const Settings& settings, const LocalAddress& local, std::string& error) {
    if (running_) stop();
    const ResponseSettings& response = settings.response;
    if ((response.usePseudoRegistrar &&
         !addPseudoServer(std::make_unique<PseudoSipRegistrar>(controller_), "initPseudoSipRegistrar")) ||
        (response.usePseudoMessengerar &&
         !addPseudoServer(std::make_unique<PseudoSipMessengerar>(controller_), "initPseudoMessengerar")) ||
        (response.usePseudoInfoerar &&
         !addPseudoServer(std::make_unique<PseudoSipInfoerar>(controller_), "initPseudoSipInfoerar"))) {
        removePseudoServers();
        error = "Failed to start the pseudo servers.";
        return false;
    }
    logPrint(kel_util::DBG, "PhoneStack::start. Starting the stack.\n");
    kel_sip::setAnswerOwnOptions(true);
    const std::string& sentBy = settings.sip.viaSentByHost.empty() ? local.withoutZone : settings.sip.viaSentByHost;
    if (!udp_.open(sentBy.c_str(), settings.sip.sipUDPPort, local.address.c_str(), local.family, false)) {
        error = "Failed to open UDP port " + std::to_string(settings.sip.sipUDPPort) + " on " + local.address +
                " (in use, or not a local address).";
    } else if (!startTCP(settings, local, sentBy, error)) {
        udp_.close();
    } else if (!controller_.addUDPTransport(&udp_) || (tcpRunning_ && !controller_.addTCPTransport(&tcp_)) ||
               !controller_.init(kWorkers)) {
        udp_.close();
        tcp_.clean();
        tcpRunning_ = false;
        error = "Failed to start the transaction controller.";
    } else {
        running_ = true;
        return true;
    }
    logPrint(kel_util::CRI, "PhoneStack::start. %s\n", error.c_str());
    controller_.clean();
    removePseudoServers();
    return false;
}

// In the user agent's order: the transport, the controller, then the users. A server worker
// may still be inside a send on its transaction; the controller's clean waits for it. The
// servers are deleted once the controller no longer posts to them. The controller's clean
// forgets the transport and the users; start attaches them again.
void PhoneStack::stop() {
    if (!running_) return;
    running_ = false;
    udp_.close();
    tcp_.clean();
    tcpRunning_ = false;
    controller_.clean();
    for (auto& server : pseudoServers_) server->clean();
    pseudoServers_.clear();
}

int PhoneStack::udpPort() {
    if (!running_) return -1;
    try {
        return udp_.getLocalAddress().getPort();
    } catch (const kel_util::Throwable&) {
        return -1;
    }
}

int PhoneStack::tcpPort() {
    if (!running_ || !tcpRunning_) return -1;
    try {
        return tcp_.getHandler().getLocalAddress().getPort();
    } catch (const kel_util::Throwable&) {
        return -1;
    }
}

bool PhoneStack::startTCP(const Settings& settings, const LocalAddress& local, const std::string& sentBy,
                          std::string& error) {
    if (!settings.sip.useTCP) return true;
    tcp_.getHandler().setUseAlias(settings.sip.useTCPConnectionAlias);
    if (!tcp_.init(kWorkers, kWorkers, sentBy.c_str(), settings.sip.sipTCPPort, local.address.c_str(), local.family,
                   false)) {
        error = "Failed to open TCP port " + std::to_string(settings.sip.sipTCPPort) + " on " + local.address +
                " (in use, or not a local address).";
        return false;
    }
    tcpRunning_ = true;
    return true;
}

std::vector<std::string> PhoneStack::pseudoServerNames() const {
    std::vector<std::string> names;
    for (const auto& server : pseudoServers_) names.emplace_back(server->className());
    return names;
}

bool PhoneStack::addPseudoServer(std::unique_ptr<PseudoSipServer> server, const char* initName) {
    if (!server->init(kWorkers)) return false;
    if (!server->registerMethods({server->methodKind()})) {
        logPrint(kel_util::MAJ, "CSipPhoneDlg::%s. Failed to addTransactionUser %s.\n", initName, server->className());
        server->clean();
        return false;
    }
    pseudoServers_.push_back(std::move(server));
    return true;
}

void PhoneStack::removePseudoServers() {
    for (auto& server : pseudoServers_) server->clean();
    pseudoServers_.clear();
}

void PhoneStack::setTimers(int t1, int t2, int t4, int td, int) { controller_.setTimers(t1, t2, t4, td); }

void PhoneStack::setViaFlags(bool rport, bool connectionSourcePort, bool alias) {
    udp_.setViaRPort(rport);
    tcp_.setViaRPort(rport);
    tcp_.setViaConnectionSrcPort(connectionSourcePort);
    tcp_.setViaAlias(alias);
}

bool PhoneStack::setViaParams(const std::string& params) {
    const bool udp = udp_.setViaParams(params.c_str());
    return tcp_.setViaParams(params.c_str()) && udp;
}

void PhoneStack::setTCPParams(int connectionTimeoutSec, int connectMSec, int receiveMSec, int sendMSec, int acceptMSec) {
    using std::chrono::milliseconds;
    kel_sip::SipConnection::setConnectTimeout(milliseconds(connectMSec));
    kel_sip::SipConnection::setReceiveTimeout(milliseconds(receiveMSec));
    kel_sip::SipConnection::setSendTimeout(milliseconds(sendMSec));
    tcp_.getHandler().setConnectionTimeoutSec(connectionTimeoutSec);
    tcp_.getHandler().setAcceptTimeout(milliseconds(acceptMSec));
}

void PhoneStack::setTCPMaxConnection(int maxConnections) { tcp_.getHandler().setMaxConnection(maxConnections); }

// The settings below belong to the usages, which this stack does not run yet (the
// pseudo servers create no requests, so Max-Forwards does not reach them either).
void PhoneStack::setMaxForwards(int) {}
void PhoneStack::setSessionOptions(const OptionSettings&) {}
void PhoneStack::setInitialLocalSeqNo(int) {}
void PhoneStack::setDefaultTransportType(int) {}
void PhoneStack::setLocalTag(const std::string&) {}
void PhoneStack::setCallIDHost(const std::string&) {}
void PhoneStack::setUpdateAddresses(bool, bool) {}
void PhoneStack::setUnregisterByWildCard(bool) {}
