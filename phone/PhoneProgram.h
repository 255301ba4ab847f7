// The phone as the program runs it before any window exists: it applies the settings in their
// fixed order (SettingsApplier), which starts the stack, and stops it again. Status texts go
// to the log and to standard output, where the operator of a window-less program sees them.
//
// Threads: the program's main thread only.
#pragma once

#include "phone/LocalAddress.h"
#include "phone/PhoneStack.h"
#include "phone/PhoneUPnP.h"
#include "phone/SettingsApplier.h"

#include <cstdio>
#include <string>

class PhoneProgram : public SettingsApplyHost {
public:
    // status receives every status text (standard output in the program).
    PhoneProgram(LocalAddress local, std::FILE* status);
    ~PhoneProgram() override;

    // Applies settings and starts the stack; false, with the reason shown, when the stack did
    // not start.
    bool start(const Settings& settings);
    // Stops the stack, then the captor and the logger.
    void stop();

    // One line for the operator: where the phone listens and which pseudo servers run.
    std::string listeningLine();
    PhoneStack& phoneStack() { return stack_; }
    const PhoneUPnP& upnp() const { return upnp_; }

    void cleanUp() override;
    void resetCallLegs() override {}
    StackSettingsTarget& stack() override { return stack_.settingsTarget(); }
    void startUserAgent(const Settings& settings) override;
    void refreshWindow(const Settings&) override {}
    void showStatus(const std::string& text) override;

private:
    LocalAddress local_;
    std::FILE* status_;
    PhoneStack stack_;
    PhoneUPnP upnp_;
};
