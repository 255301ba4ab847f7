#include "phone/PhoneStack.h"

#include "kel_util/Log.h"
#include "phone/PseudoSipRegistrar.h"
#include "phone/PseudoSipResponder.h"
#include "phone/UserAgentEventParam.h"

using kel_util::logPrint;

PhoneStack::PhoneStack() { loop_.start(); }

PhoneStack::~PhoneStack() {
    stop();
    loop_.stop();
}

bool PhoneStack::start(const Settings& settings, const LocalAddress& local, std::string& error) {
    if (running_) stop();
    kel_sip::SipTransactionControllerImpl& controller = agent_.transactionController();
    const ResponseSettings& response = settings.response;
    if ((response.usePseudoRegistrar &&
         !addPseudoServer(std::make_unique<PseudoSipRegistrar>(controller), "initPseudoSipRegistrar")) ||
        (response.usePseudoMessengerar &&
         !addPseudoServer(std::make_unique<PseudoSipMessengerar>(controller), "initPseudoMessengerar")) ||
        (response.usePseudoInfoerar &&
         !addPseudoServer(std::make_unique<PseudoSipInfoerar>(controller), "initPseudoSipInfoerar"))) {
        removePseudoServers();
        error = "Failed to start the pseudo servers.";
        return false;
    }
    logPrint(kel_util::DBG, "PhoneStack::start. Starting the stack.\n");
    agent_.tcpTransport().getHandler().setUseAlias(settings.sip.useTCPConnectionAlias);
    if (!agent_.init(startOf(settings, local))) {
        error = agent_.initFailure();
        logPrint(kel_util::CRI, "PhoneStack::start. %s\n", error.c_str());
        removePseudoServers();
        return false;
    }
    // Calls and subscriptions go out through the proxy; the applier does not carry it.
    UserAgentSettings(agent_).setOutboundProxy(UserAgentSettings::outboundProxyOf(settings.extension));
    running_ = true;
    return true;
}

UserAgentStart PhoneStack::startOf(const Settings& settings, const LocalAddress& local) {
    UserAgentStart start;
    start.window = &loop_;
    start.udpWorkers = start.transactionWorkers = kWorkers;
    start.sessionWorkers = start.registrantWorkers = start.subscriberWorkers = start.publisherWorkers = kWorkers;
    start.tcpWorkers = start.tcpHandlerWorkers = settings.sip.useTCP ? kWorkers : 0;
    // A CallIDHost setting names the host of our Call-IDs; init would otherwise replace it.
    start.hostName = settings.sip.callIDHost.empty() ? local.hostName : settings.sip.callIDHost;
    start.sentByHost = settings.sip.viaSentByHost.empty() ? local.withoutZone : settings.sip.viaSentByHost;
    start.udpPort = settings.sip.sipUDPPort;
    start.udpBindRetry = false;
    start.tcpPort = settings.sip.sipTCPPort;
    start.bindAddress = local.address;
    start.family = local.family;
    return start;
}

// The user agent first: its controller waits for the sends still inside it, and forgets the
// pseudo servers, which can then be stopped and deleted.
void PhoneStack::stop() {
    if (!running_) return;
    running_ = false;
    agent_.clean();
    removePseudoServers();
}

int PhoneStack::udpPort() { return running_ ? agent_.udpPort() : -1; }

int PhoneStack::tcpPort() { return running_ ? agent_.tcpPort() : -1; }

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

void PhoneStack::EventLog::onMessage(int message, std::unique_ptr<LogicRecord> record) {
    const auto* event = dynamic_cast<const UserAgentEventParam*>(record.get());
    if (event == nullptr) return;
    logPrint(kel_util::DBG, "PhoneStack::onMessage. message=%d, type=%d, id=%d, state=%d.\n", message, event->type,
             event->id, event->state);
}
