#include "phone/PhoneStack.h"

#include "kel_sip/transport/SipTransportHooks.h"
#include "kel_util/Log.h"
#include "phone/PseudoSipRegistrar.h"
#include "phone/PseudoSipResponder.h"

using kel_util::logPrint;

namespace {

constexpr int kUdpTransportId = 0;

}  // namespace

PhoneStack::PhoneStack() : controller_(nullptr), udp_(controller_, kUdpTransportId) {}

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
    } else if (!controller_.addUDPTransport(&udp_) || !controller_.init(kWorkers)) {
        udp_.close();
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

void PhoneStack::setViaFlags(bool rport, bool, bool) { udp_.setViaRPort(rport); }

bool PhoneStack::setViaParams(const std::string& params) { return udp_.setViaParams(params.c_str()); }

// The settings below belong to TCP and to the usages, which this stack does not run yet (the
// pseudo servers create no requests, so Max-Forwards does not reach them either).
void PhoneStack::setMaxForwards(int) {}
void PhoneStack::setTCPParams(int, int, int, int, int) {}
void PhoneStack::setTCPMaxConnection(int) {}
void PhoneStack::setSessionOptions(const OptionSettings&) {}
void PhoneStack::setInitialLocalSeqNo(int) {}
void PhoneStack::setDefaultTransportType(int) {}
void PhoneStack::setLocalTag(const std::string&) {}
void PhoneStack::setCallIDHost(const std::string&) {}
void PhoneStack::setUpdateAddresses(bool, bool) {}
void PhoneStack::setUnregisterByWildCard(bool) {}
