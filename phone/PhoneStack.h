// What the tessaly program runs of the phone today: the user agent (its usages, transaction
// controller and transports; TCP when UseTCP is on) and beside it the pseudo servers that the
// settings switch on, each registered for its one method before the user agent takes the
// rest. The user agent's events go to the stack's own logic loop, which logs and frees them
// until the call logic runs there.
//   start: pseudo servers, then the user agent (its usages, UDP, TCP, transaction controller);
//   stop:  the user agent (transports, transaction controller, usages), then the pseudo
//          servers, once the controller no longer posts to them.
//
// Threads: the owner's thread (the logic thread) only.
#pragma once

#include "phone/LocalAddress.h"
#include "phone/LogicLoop.h"
#include "phone/PseudoSipServer.h"
#include "phone/Settings.h"
#include "phone/UserAgent.h"
#include "phone/UserAgentSettings.h"

#include <memory>
#include <string>
#include <vector>

class PhoneStack {
public:
    // Worker threads of every pool, as the phone gives them.
    static constexpr int kWorkers = 2;

    PhoneStack();
    ~PhoneStack();
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

    // Where the settings applier pushes the stack settings.
    StackSettingsTarget& settingsTarget() noexcept { return settings_; }
    UserAgent& userAgent() noexcept { return agent_; }

private:
    // The loop's window until the call logic runs on it: logs each event.
    class EventLog : public LogicWindow {
    public:
        void onMessage(int message, std::unique_ptr<LogicRecord> record) override;
        void onTimer(int) override {}
    };

    // Creates, starts and registers one pseudo server; false (logged, server dropped) on failure.
    bool addPseudoServer(std::unique_ptr<PseudoSipServer> server, const char* initName);
    void removePseudoServers();
    UserAgentStart startOf(const Settings& settings, const LocalAddress& local);

    EventLog eventLog_;
    LogicLoop loop_{eventLog_};
    UserAgent agent_;
    UserAgentSettings settings_{agent_};
    std::vector<std::unique_ptr<PseudoSipServer>> pseudoServers_;
    bool running_ = false;
};
