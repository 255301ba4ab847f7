// The part of the user agent that runs today: the transaction controller, the UDP transport,
// the TCP transport when UseTCP is on, and the pseudo servers that the settings switch on. It takes the stack settings like the user
// agent does and starts and stops its parts in the user agent's order:
//   start: pseudo servers (each registered for its one method), the transports' own OPTIONS
//          answer, the UDP transport, the TCP transport, the transaction controller;
//   stop:  UDP and TCP transports, pseudo servers (their last sends still go through), transaction
//          controller.
//
// Threads: the owner's thread (the logic thread) only.
#pragma once

#include "kel_sip/transaction/SipTransactionControllerImpl.h"
#include "kel_sip/transport/SipTCPTransport.h"
#include "kel_sip/transport/SipUDPTransport.h"
#include "phone/LocalAddress.h"
#include "phone/PseudoSipServer.h"
#include "phone/Settings.h"
#include "phone/StackSettingsTarget.h"

#include <memory>
#include <string>
#include <vector>

class PhoneStack : public StackSettingsTarget {
public:
    // Worker threads of every pool, as the phone gives them.
    static constexpr int kWorkers = 2;

    PhoneStack();
    ~PhoneStack() override;
    PhoneStack(const PhoneStack&) = delete;
    PhoneStack& operator=(const PhoneStack&) = delete;

    // Starts the stack on local with the ports and pseudo-server switches of settings. False,
    // with error for the operator and nothing left running, on failure (a port already taken
    // is a failure: it is not retried).
    bool start(const Settings& settings, const LocalAddress& local, std::string& error);
    // Stops what start started; nothing when it is not running.
    void stop();

    bool isRunning() const noexcept { return running_; }
    // The UDP port the transport is bound to (the system's choice when SipUDPPort is 0); -1
    // while it is not running.
    int udpPort();
    // The TCP listen port; -1 while it is not running or UseTCP is off.
    int tcpPort();
    // The class names of the pseudo servers that run, in start order.
    std::vector<std::string> pseudoServerNames() const;

    void setTimers(int t1, int t2, int t4, int td, int cancelTimeout) override;
    void setTCPParams(int connectionTimeoutSec, int connectMSec, int receiveMSec, int sendMSec,
                      int acceptMSec) override;
    void setTCPMaxConnection(int maxConnections) override;
    void setSessionOptions(const OptionSettings& options) override;
    void setViaFlags(bool rport, bool connectionSourcePort, bool alias) override;
    bool setViaParams(const std::string& params) override;
    void setInitialLocalSeqNo(int seqNo) override;
    void setMaxForwards(int maxForwards) override;
    void setDefaultTransportType(int transportType) override;
    void setLocalTag(const std::string& tag) override;
    void setCallIDHost(const std::string& host) override;
    void setUpdateAddresses(bool updateFrom, bool updateTo) override;
    void setUnregisterByWildCard(bool wildCard) override;

private:
    // Creates, starts and registers one pseudo server; false (logged, server dropped) on failure.
    bool addPseudoServer(std::unique_ptr<PseudoSipServer> server, const char* initName);
    void removePseudoServers();
    // Starts the TCP transport when settings switch it on; false with error on failure.
    bool startTCP(const Settings& settings, const LocalAddress& local, const std::string& sentBy, std::string& error);

    kel_sip::SipTransactionControllerImpl controller_;
    kel_sip::SipUDPTransport udp_;
    kel_sip::SipTCPTransport tcp_;
    bool tcpRunning_ = false;
    std::vector<std::unique_ptr<PseudoSipServer>> pseudoServers_;
    bool running_ = false;
};
