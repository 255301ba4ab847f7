// Applying the settings: at start-up once the logic is up, and after another settings file
// is opened, always in this order:
//   1. the call legs are dropped and the shown state cleared (host);
//   2. the message layout switches of the syntax layer;
//   3. logging;
//   4. the stack settings (through the host's StackSettingsTarget) and the escaping switches;
//   5. the message captor, towards "localhost" port 19060;
//   6. the user agent is started, then NAT traversal, audio and registration (host);
//   7. the title, the auto-respond choice and the controls are refreshed (host).
// Runs on the logic thread.
#pragma once

#include "kel_util/MessageCaptor.h"
#include "phone/Settings.h"
#include "phone/SettingsFile.h"
#include "phone/StackSettingsTarget.h"

#include <string>

// The parts of the phone that take part in applying the settings.
class SettingsApplyHost {
public:
    virtual ~SettingsApplyHost() = default;

    // What closing the window does before the settings of another file are applied: calls
    // ended, port mappings deleted, the user agent and the pseudo servers stopped.
    virtual void cleanUp() = 0;
    virtual void resetCallLegs() = 0;
    virtual StackSettingsTarget& stack() = 0;
    virtual void startUserAgent(const Settings& settings) = 0;
    virtual void refreshWindow(const Settings& settings) = 0;
    // The status line; what is shown there is logged too.
    virtual void showStatus(const std::string& text) = 0;
};

class SettingsApplier {
public:
    static constexpr const char* productName = "Tessaly";

    static void apply(const Settings& settings, SettingsApplyHost& host);
    // The open command: loads the named file into settings and makes it the current file, then
    // cleans up and applies. False, with nothing changed, when the file cannot be read.
    static bool openAndApply(SettingsFile& file, const std::string& name, Settings& settings, SettingsApplyHost& host);

    // The steps, in the order apply runs them.
    static void applyLayoutSwitches(const SipSettings& sip);
    // Restarts the process-wide logger with these settings, or stops it when logging is off.
    // A log file that cannot be opened is shown in the status line; start-up goes on.
    static void startLogging(const LogSettings& log, SettingsApplyHost& host);
    static void applyStackSettings(const Settings& settings, StackSettingsTarget& stack);
    static void applyEscapeSwitches(const SipSettings& sip);
    // Starts the process-wide captor when on; stops it when off, so that turning the setting
    // off stops the copies at once. False when it should run but cannot be started.
    static bool applyCaptor(bool on, int port = kel_util::MessageCaptor::DEFAULT_PORT,
                            const std::string& host = "localhost");

    // The LocalTag setting as the stack takes it: "null" stands for an empty tag.
    static std::string stackLocalTag(const std::string& localTag);
    // The directory logs go to: LogDir, or "." when it is empty or not a directory.
    static std::string logDirectory(const std::string& logDir);
};
