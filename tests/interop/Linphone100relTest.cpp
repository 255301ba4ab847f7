// Calls with PRACK (RFC 3262) between our session controller and a real phone, linphonec (the
// Debian package linphone-cli) with 100rel on, both ways: we call it and acknowledge its
// reliable 180 with PRACK; it calls us and acknowledges ours. The phone runs in a process group
// of its own with a configuration in a fresh directory, takes its commands ("answer", "call")
// on a pipe, and is killed with its group on every path.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
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

constexpr int kT1 = 500;
constexpr const char* kAnswerSdp =
    "v=0\r\no=- 2 2 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio 4002 RTP/AVP 0\r\n";

// linphonec listening on 127.0.0.1:port (UDP only) with 100rel at support level 2
// ("100rel" in Supported and Require). HOME is the directory, so that nothing of the user's own
// configuration or data is read or written.
class Linphone {
public:
    Linphone(const fs::path& directory, int port) : log_(directory / "linphonec.out") {
        // Without its database directory the phone never opens its SIP port.
        fs::create_directories(directory / ".local/share/linphone");
        const fs::path config = directory / "linphonerc";
        std::ofstream(config) << "[sip]\nsip_port=" << port << "\nsip_tcp_port=0\nsip_tls_port=0\n"
                              << "100rel_support_level=2\nauto_send_ringing=1\nguess_hostname=0\n"
                              << "contact=sip:linphone@127.0.0.1:" << port << "\n"
                              << "[rtp]\naudio_rtp_port=" << tessaly_interop::freeUdpPort() << "\n";
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        commands_ = fds[1];
        const std::string home = "HOME=" + directory.string();
        std::vector<std::string> args{TESSALY_LINPHONEC, "-c", config.string(), "-d", "5"};
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        std::vector<char*> envp{const_cast<char*>(home.c_str())};
        for (char** e = environ; *e != nullptr; ++e)
            if (std::string_view(*e).rfind("HOME=", 0) != 0) envp.push_back(*e);
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
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
    }
    ~Linphone() {
        if (commands_ >= 0) ::close(commands_);
        if (pid_ <= 0) return;
        // The phone and whatever it started go together.
        ::kill(-pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    Linphone(const Linphone&) = delete;
    Linphone& operator=(const Linphone&) = delete;

    bool started() const { return pid_ > 0 && commands_ >= 0; }
    // One command line of linphonec's.
    bool send(const std::string& command) {
        const std::string line = command + "\n";
        return ::write(commands_, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    }
    const fs::path& log() const { return log_; }

private:
    fs::path log_;
    pid_t pid_ = -1;
    int commands_ = -1;
};

// a comes before b in events.
bool comesBefore(const std::vector<int>& events, int a, int b) {
    const auto first = std::find(events.begin(), events.end(), a);
    return first != events.end() && std::find(first, events.end(), b) != events.end();
}

TEST(Linphone100rel, WeCallItAndAcknowledgeItsReliableRingingWithPrAck) {
    const fs::path dir = tessaly_interop::freshDirectory("linphone_called");
    const int port = tessaly_interop::freeUdpPort();
    Linphone phone(dir, port);
    ASSERT_TRUE(phone.started());
    CallerStack stack(kT1);
    ASSERT_TRUE(stack.ready());
    Caller& caller = stack.caller();
    // The phone may still be starting: the INVITE client transaction retransmits until it answers.
    const int id = stack.invite("sip:linphone@127.0.0.1:" + std::to_string(port), 1);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(caller.waitForEvent(kEventPrAckingSucceeded)) << tessaly_interop::readText(phone.log());
    ASSERT_TRUE(phone.send("answer"));
    acknowledge(caller, id);
    ASSERT_TRUE(caller.endSession(id, nullptr));
    ASSERT_TRUE(caller.waitForEvent(kEventSentBye));
    const std::vector<int> events = caller.events();
    EXPECT_TRUE(comesBefore(events, kEventInvitingProceeding, kEventSentPrAck));
    EXPECT_TRUE(comesBefore(events, kEventSentPrAck, kEventPrAckingSucceeded));
    EXPECT_TRUE(comesBefore(events, kEventPrAckingSucceeded, kEventInvitingConfirmed));
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

TEST(Linphone100rel, ItCallsUsAndAcknowledgesOurReliableRingingWithPrAck) {
    const fs::path dir = tessaly_interop::freshDirectory("linphone_calling");
    Linphone phone(dir, tessaly_interop::freeUdpPort());
    ASSERT_TRUE(phone.started());
    CallerStack stack(kT1);
    ASSERT_TRUE(stack.ready());
    Caller& caller = stack.caller();
    // It offers 100rel in Supported: process type 2 sends our 180 reliably.
    caller.setTerm100relProcessType(2);
    const std::string contact = "<sip:uas@127.0.0.1:" + std::to_string(stack.port()) + ">";
    SipAddress ours;
    ours.parse(contact.data(), static_cast<int>(contact.size()), true);
    ASSERT_TRUE(phone.send("call sip:uas@127.0.0.1:" + std::to_string(stack.port())));
    ASSERT_TRUE(caller.waitForEvent(kEventInvited)) << tessaly_interop::readText(phone.log());
    const int id = caller.lastId();
    SessionResponse ringing;
    ringing.statusCode = 180;
    ringing.contact = &ours;
    ASSERT_TRUE(caller.respondSession(id, ringing));
    // Our session answers the PRACK 200 by itself.
    ASSERT_TRUE(caller.waitForEvent(kEventPrAcked)) << tessaly_interop::readText(phone.log());
    SessionResponse ok;
    ok.statusCode = 200;
    ok.contact = &ours;
    ok.body = kAnswerSdp;
    ASSERT_TRUE(caller.respondSession(id, ok));
    ASSERT_TRUE(caller.waitForEvent(kEventAcked)) << tessaly_interop::readText(phone.log());
    ASSERT_TRUE(caller.endSession(id, nullptr));
    ASSERT_TRUE(caller.waitForEvent(kEventSentBye));
    const std::vector<int> events = caller.events();
    EXPECT_TRUE(comesBefore(events, kEventSentInviteProvisionalResponse, kEventPrAcked));
    EXPECT_TRUE(comesBefore(events, kEventPrAcked, kEventSentInviteFinalResponse));
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

}  // namespace
}  // namespace kel_sip::test
