#include "phone/SettingsApplier.h"

#include "kel_sip/syntax/SipSwitches.h"
#include "kel_util/Log.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

using kel_sip::SipSwitch;
using kel_sip::sipSwitch;

namespace {

// Records every call with the state of the process-wide switches at that moment, so that the
// order of the steps shows.
class RecordingHost : public SettingsApplyHost, public StackSettingsTarget {
public:
    void cleanUp() override { note("cleanUp"); }
    void resetCallLegs() override { note("resetCallLegs"); }
    StackSettingsTarget& stack() override { return *this; }
    void startUserAgent(const Settings&) override { note("startUserAgent"); }
    void refreshWindow(const Settings&) override { note("refreshWindow"); }
    void showStatus(const std::string& text) override { note("status " + text); }

    void setTimers(int t1, int t2, int t4, int td, int cancel) override {
        note("setTimers " + join({t1, t2, t4, td, cancel}));
    }
    void setTCPParams(int idle, int connect, int receive, int send, int accept) override {
        note("setTCPParams " + join({idle, connect, receive, send, accept}));
    }
    void setTCPMaxConnection(int n) override { note("setTCPMaxConnection " + std::to_string(n)); }
    void setSessionOptions(const OptionSettings& o, bool setAllow) override {
        options = o;
        note("setSessionOptions " + join({setAllow}));
    }
    void setViaFlags(bool rport, bool source, bool alias) override {
        note("setViaFlags " + join({rport, source, alias}));
    }
    bool setViaParams(const std::string& p) override {
        note("setViaParams " + p);
        return true;
    }
    void setInitialLocalSeqNo(int n) override { note("setInitialLocalSeqNo " + std::to_string(n)); }
    void setMaxForwards(int n) override { note("setMaxForwards " + std::to_string(n)); }
    void setDefaultTransportType(int t) override { note("setDefaultTransportType " + std::to_string(t)); }
    void setLocalTag(const std::string& tag) override { note("setLocalTag [" + tag + "]"); }
    void setCallIDHost(const std::string& h) override { note("setCallIDHost " + h); }
    void setUpdateAddresses(bool from, bool to) override { note("setUpdateAddresses " + join({from, to})); }
    void setUnregisterByWildCard(bool w) override { note("setUnregisterByWildCard " + join({w})); }

    std::vector<std::string> calls;
    OptionSettings options;

private:
    static std::string join(std::initializer_list<int> values) {
        std::string out;
        for (int v : values) out += (out.empty() ? "" : ",") + std::to_string(v);
        return out;
    }
    // Each call carries the layout switch Compact and the escape switch EscapeContact.
    void note(const std::string& call) {
        calls.push_back(call + " |" + (sipSwitch(SipSwitch::Compact) ? "C" : "-") +
                        (sipSwitch(SipSwitch::EscapeContact) ? "E" : "-"));
    }
};

class SettingsApplierTest : public ::testing::Test {
protected:
    void SetUp() override { kel_sip::resetSipSwitches(); }
    void TearDown() override {
        kel_sip::resetSipSwitches();
        kel_util::closeLogging();
        kel_util::setLogLevel(savedLevel_);
    }

private:
    int savedLevel_ = kel_util::logLevel();
};

}  // namespace

TEST_F(SettingsApplierTest, StepsRunInTheFixedOrder) {
    Settings s;
    s.sip.compact = true;
    s.sip.escape.contact = true;
    s.sip.timerT1 = 50;
    s.sip.tcpConnectTOMSec = 2500;
    s.sip.tcpMaxConnection = 7;
    s.sip.setViaAlias = true;
    s.sip.viaParams = "x=1";
    s.sip.initialLocalSeqNo = -1;
    s.sip.maxForwards = 20;
    s.sip.defaultSipTransportType = 1;
    s.sip.localTag = "abc";
    s.sip.callIDHost = "calls.example.com";
    s.sip.updateToAddress = true;
    s.extension.unregisterByWildCard = true;
    s.option.minSE = 90;
    s.sip.setAllow = true;
    s.local.messageCaptor = false;
    RecordingHost host;
    SettingsApplier::apply(s, host);
    EXPECT_EQ(host.calls, (std::vector<std::string>{
                              "resetCallLegs |--",
                              "setTimers 50,4000,5000,32000,32000 |C-",
                              "setTCPParams 180,2500,1000,1000,1000 |C-",
                              "setTCPMaxConnection 7 |C-",
                              "setSessionOptions 1 |C-",
                              "setViaFlags 0,0,1 |C-",
                              "setViaParams x=1 |C-",
                              "setInitialLocalSeqNo -1 |C-",
                              "setMaxForwards 20 |C-",
                              "setDefaultTransportType 1 |C-",
                              "setLocalTag [abc] |C-",
                              "setCallIDHost calls.example.com |C-",
                              "setUpdateAddresses 0,1 |C-",
                              "setUnregisterByWildCard 1 |CE",
                              "startUserAgent |CE",
                              "refreshWindow |CE",
                          }));
    EXPECT_EQ(host.options, s.option);
}

TEST_F(SettingsApplierTest, OpeningAFileCleansUpThenAppliesItsSettings) {
    tessaly_test::TempDir dir;
    tessaly_test::writeFile(dir.file("other.ini"), "[Sip]\nCompact=1\nTimerT1=250\n[Local]\nMessageCaptor=0\n");
    SettingsFile file("config.ini", dir.path());
    Settings settings;
    RecordingHost host;
    ASSERT_FALSE(SettingsApplier::openAndApply(file, "missing.ini", settings, host));
    EXPECT_TRUE(host.calls.empty());

    ASSERT_TRUE(SettingsApplier::openAndApply(file, "other.ini", settings, host));
    EXPECT_EQ(settings.sip.timerT1, 250);
    EXPECT_EQ(file.path(), dir.file("other.ini"));
    ASSERT_GE(host.calls.size(), 3u);
    EXPECT_EQ(host.calls[0], "cleanUp |--");
    EXPECT_EQ(host.calls[1], "resetCallLegs |--");
    EXPECT_EQ(host.calls[2], "setTimers 250,4000,5000,32000,32000 |C-");
}

TEST_F(SettingsApplierTest, LocalTagNullReachesTheStackAsAnEmptyTag) {
    for (const auto& [setting, passed] : std::vector<std::pair<std::string, std::string>>{
             {"null", ""}, {"", ""}, {"nullx", "nullx"}, {"a1b2c3d4", "a1b2c3d4"}}) {
        Settings s;
        s.sip.localTag = setting;
        RecordingHost host;
        SettingsApplier::applyStackSettings(s, host);
        EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "setLocalTag [" + passed + "] |--"), host.calls.end())
            << setting;
    }
}

TEST_F(SettingsApplierTest, EverySwitchFollowsItsSetting) {
    Settings s;
    s.sip.sipHeaderOneLine = s.sip.viaSeparateLine = s.sip.routeSeparateLine = s.sip.recordRouteSeparateLine = true;
    s.sip.escape = {true, true, true, true, true, true};
    s.sip.unEscape = {true, false, true, false, true, false};
    SettingsApplier::applyLayoutSwitches(s.sip);
    SettingsApplier::applyEscapeSwitches(s.sip);
    EXPECT_FALSE(sipSwitch(SipSwitch::Compact));
    EXPECT_TRUE(sipSwitch(SipSwitch::SipHeaderOneLine));
    EXPECT_TRUE(sipSwitch(SipSwitch::RecordRouteSeparateLine));
    EXPECT_TRUE(sipSwitch(SipSwitch::EscapeRequestURI));
    EXPECT_TRUE(sipSwitch(SipSwitch::EscapeContact));
    EXPECT_TRUE(sipSwitch(SipSwitch::UnEscapeRequestURI));
    EXPECT_FALSE(sipSwitch(SipSwitch::UnEscapeRoute));
    EXPECT_TRUE(sipSwitch(SipSwitch::UnEscapeTo));
    EXPECT_FALSE(sipSwitch(SipSwitch::UnEscapeContact));

    SettingsApplier::applyLayoutSwitches(SipSettings());
    SettingsApplier::applyEscapeSwitches(SipSettings());
    for (int i = 0; i < kel_sip::kSipSwitchCount; ++i) EXPECT_FALSE(sipSwitch(static_cast<SipSwitch>(i))) << i;
}

TEST_F(SettingsApplierTest, LoggingWritesTheBuildLineToTheConfiguredFileAndStopsWhenOff) {
    tessaly_test::TempDir dir;
    LogSettings log;
    log.enableLog = true;
    log.logLevel = 6;
    log.logDir = dir.path();
    log.logFilePrefix = "phone";
    log.logBuffThreshold = 0;
    RecordingHost host;
    SettingsApplier::startLogging(log, host);
    EXPECT_EQ(kel_util::logLevel(), 6);
    kel_util::closeLogging();
    const std::string text = tessaly_test::readFile(dir.file("phone0.log"));
    EXPECT_NE(text.find("Tessaly MAKE="), std::string::npos) << text;
    EXPECT_NE(text.find("Dump revision"), std::string::npos) << text;
    EXPECT_TRUE(host.calls.empty());

    log.enableLog = false;
    SettingsApplier::startLogging(log, host);
    EXPECT_EQ(kel_util::logLevel(), -1);
}

TEST_F(SettingsApplierTest, LogFileThatCannotBeOpenedIsShownAndStartUpGoesOn) {
    tessaly_test::TempDir dir;
    LogSettings log;
    log.enableLog = true;
    log.logDir = dir.path();
    log.logFilePrefix = "missing-subdir/phone";
    log.logBuffThreshold = 0;
    RecordingHost host;
    SettingsApplier::startLogging(log, host);
    kel_util::closeLogging();
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].rfind("status Failed to init Logger. FileException, ", 0), 0u) << host.calls[0];
}

TEST(SettingsApplier, LogDirectoryFallsBackToTheCurrentDirectory) {
    EXPECT_EQ(SettingsApplier::logDirectory(""), ".");
    EXPECT_EQ(SettingsApplier::logDirectory("/no/such/tessaly/dir"), ".");
    EXPECT_EQ(SettingsApplier::logDirectory("/tmp"), "/tmp");
}

namespace {

// A TCP listener on 127.0.0.1 at a free port, for the captor to connect to.
class CaptureListener {
public:
    CaptureListener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(fd_, 4) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~CaptureListener() {
        if (peer_ >= 0) ::close(peer_);
        ::close(fd_);
    }
    int port() const { return port_; }

    // Waits for the captor's connection.
    bool accepted() {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1) return false;
        peer_ = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        return peer_ >= 0;
    }
    // Waits until the captor closes its side, reading what it still sends.
    bool closedByPeer() {
        char buffer[4096];
        for (;;) {
            pollfd p{peer_, POLLIN, 0};
            if (::poll(&p, 1, 10000) != 1) return false;
            const ssize_t n = ::read(peer_, buffer, sizeof buffer);
            if (n == 0) return true;
            if (n < 0 && errno != EINTR) return true;
        }
    }

private:
    int fd_ = -1;
    int peer_ = -1;
    int port_ = 0;
};

}  // namespace

TEST(SettingsApplier, CaptorRunsWhileTheSettingIsOnAndStopsWhenTurnedOff) {
    CaptureListener listener;
    ASSERT_GT(listener.port(), 0);
    ASSERT_TRUE(SettingsApplier::applyCaptor(true, listener.port(), "127.0.0.1"));
    EXPECT_TRUE(listener.accepted());
    EXPECT_TRUE(SettingsApplier::applyCaptor(false));
    EXPECT_TRUE(listener.closedByPeer());
}
