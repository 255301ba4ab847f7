// Our session controller calls linphonec (package linphone-cli) with session timers on both
// sides: a short interval with our side as refresher, so that the call lives through three
// refresh periods (re-INVITEs linphonec answers) before we hang up. linphonec runs in its own
// process group with its own configuration and home directory, and is killed on every path.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ProgramSupport.h"
#include "SessionCaller.h"

extern char** environ;

namespace kel_sip::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Session-Expires of the call (seconds): a refresh every 5 s, an expiry 7 s after a 2xx.
constexpr int kInterval = 10;

// linphonec answering every call by itself (-a), its SIP on 127.0.0.1:sipPort. Its standard
// input is a pipe kept open, as it quits at the end of its input.
class Linphonec {
public:
    Linphonec(const fs::path& dir, int sipPort, int rtpPort) : log_(dir / "linphonec.log") {
        const fs::path home = dir / "home";
        fs::create_directories(home / ".local/share/linphone");
        const fs::path config = dir / "linphonerc";
        std::ofstream(config) << "[sip]\nsip_port=" << sipPort << "\nsip_tcp_port=0\nsip_tls_port=0\n"
                              << "bind_address=127.0.0.1\n"
                              << "session_expires_enabled=1\nsession_expires_value=" << kInterval << "\n"
                              << "session_expires_min_value=" << kInterval << "\n"
                              << "[rtp]\naudio_rtp_port=" << rtpPort << "\n";
        start({TESSALY_LINPHONEC, "-c", config.string(), "-a", "-d", "6"}, "HOME=" + home.string());
    }
    ~Linphonec() {
        if (stdin_ >= 0) ::close(stdin_);
        if (pid_ <= 0) return;
        ::kill(-pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    Linphonec(const Linphonec&) = delete;
    Linphonec& operator=(const Linphonec&) = delete;

    // Its SIP socket is open; false after limit.
    bool waitListening(std::chrono::milliseconds limit) {
        return pid_ > 0 && tessaly_interop::waitForText(log_, "Creating listening point", limit);
    }
    std::string log() const { return tessaly_interop::readText(log_); }

private:
    void start(const std::vector<std::string>& args, const std::string& home) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        // Its own home: the first HOME in the environment is the one it reads.
        std::vector<char*> envp{const_cast<char*>(home.c_str())};
        for (char** e = environ; *e != nullptr; ++e)
            if (std::strncmp(*e, "HOME=", 5) != 0) envp.push_back(*e);
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data()) == 0) pid_ = pid;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[0]);
        stdin_ = fds[1];
    }

    fs::path log_;
    pid_t pid_ = -1;
    int stdin_ = -1;
};

TEST(LinphoneSessionTimer, CallLivesThroughThreeRefreshPeriodsThatWeSend) {
    const fs::path dir = tessaly_interop::freshDirectory("linphone_session_timer");
    const int sipPort = tessaly_interop::freeUdpPort();
    Linphonec phone(dir, sipPort, tessaly_interop::freeUdpPort());
    ASSERT_TRUE(phone.waitListening(20s)) << phone.log();

    InviteOrder order;
    order.sessionTimer = {1, std::nullopt, kInterval, SipSessionExpires::RefresherUac};
    const std::vector<int> refreshed{kEventSentReInvite, kEventSessionRefresh, kEventSentAck};
    std::vector<int> expected{kEventSentInvite, kEventInvitingProceeding, kEventInvitingConfirmed, kEventSentAck};
    for (int i = 0; i < 3; ++i) expected.insert(expected.end(), refreshed.begin(), refreshed.end());
    expected.push_back(kEventSentBye);
    placeCall(
        sipPort, order,
        [](Caller& caller, int id) {
            acknowledge(caller, id);
            // Each refresh answered and acknowledged (the ACKs of the three refreshes) with
            // no BYE from linphonec meanwhile, which the events would show.
            for (int count = 2; count <= 4; ++count) ASSERT_TRUE(caller.waitForEvent(kEventSentAck, count));
            ASSERT_TRUE(caller.endSession(id, nullptr));
        },
        expected, 500);
    // linphonec ran the timer too: its 2xx required it and named us as refresher.
    const std::string log = phone.log();
    EXPECT_NE(log.find("Require: timer"), std::string::npos);
    EXPECT_NE(log.find("Session-Expires: 10;refresher=uac"), std::string::npos);
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
    else ADD_FAILURE() << phone.log().substr(0, 20000);
}

}  // namespace
}  // namespace kel_sip::test
