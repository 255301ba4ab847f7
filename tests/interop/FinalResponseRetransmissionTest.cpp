// SIPp calls our stack over UDP with small timers (T1 = 100 ms, T2 = 400 ms): it retransmits
// a MESSAGE that our user answers late, which must reach the user once (RFC 3261 section
// 17.2.2); and it never acknowledges the 486 to its INVITE, so the INVITE server transaction
// retransmits it by Timer G at T1, 2*T1, 4*T1, then every T2 (section 17.2.1). The times are
// those at which SIPp logged the responses' arrival.
#include <arpa/inet.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ProgramSupport.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/transaction/SipTransactionControllerImpl.h"
#include "kel_sip/transport/SipUDPTransport.h"

extern char** environ;

namespace kel_sip::test {
namespace {

namespace fs = std::filesystem;
using tessaly_interop::Logged;
using tessaly_interop::loggedMessages;

constexpr int kT1 = 100;
constexpr int kT2 = 400;
constexpr std::chrono::milliseconds kSlowAnswer{300};

// Answers every new INVITE with 486 at once and every other request with 200 after
// kSlowAnswer, on its transaction: a slow user, whose peer retransmits meanwhile.
class AnsweringUser : public kel_util::EventHandler2 {
public:
    AnsweringUser() { init(1, false); }
    ~AnsweringUser() override { clean(); }

    SipTransactionController* controller = nullptr;
    std::atomic<int> requests{0};

protected:
    void onEvent(int, int type, intptr_t param1, intptr_t param2, intptr_t, const void*) override {
        std::unique_ptr<SipMessageExt> message(reinterpret_cast<SipMessageExt*>(param1));
        const int id = static_cast<int>(param2);
        if (type != SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST || id <= 0) return;
        ++requests;
        if (message->methodKind != SipMethod::Invite) std::this_thread::sleep_for(kSlowAnswer);
        auto response = message->createResponse(message->methodKind == SipMethod::Invite ? 486 : 200, nullptr, false);
        response->to.tag = "b0b";
        controller->sendResponse(id, *response, 0);
    }
    void onEventClean(int, int, intptr_t param1, intptr_t, intptr_t, const void*) override {
        delete reinterpret_cast<SipMessageExt*>(param1);
    }
};

// Runs sipp with args; its exit status, or -1 when it could not be started.
int runSipp(const std::vector<std::string>& args, const fs::path& output) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(FinalResponseRetransmission, FollowsTimerGAndPassesARetransmittedRequestUpOnce) {
    const std::string sipp = TESSALY_SIPP;
    AnsweringUser user;
    SipTransactionControllerImpl controller(&user);
    user.controller = &controller;
    SipUDPTransport transport(controller, 0);
    controller.setTimers(kT1, kT2, 500, 500);
    ASSERT_TRUE(controller.init(2));
    ASSERT_TRUE(transport.open("127.0.0.1", 0, "127.0.0.1", AF_INET, false));
    ASSERT_TRUE(controller.addUDPTransport(&transport));
    const int port = transport.getLocalAddress().getPort();

    const fs::path dir = fs::path(::testing::TempDir()) / ("interop-g-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path messages = dir / "messages.log";
    const int status = runSipp({sipp, "127.0.0.1:" + std::to_string(port), "-sf",
                                std::string(TESSALY_INTEROP_DIR) + "/final_response_retransmission.xml", "-m", "1",
                                "-i", "127.0.0.1", "-nostdin", "-trace_msg", "-message_file", messages.string(),
                                "-timeout", "30", "-timeout_error"},
                               dir / "sipp.out");
    transport.close();
    controller.clean();
    std::ifstream out(dir / "sipp.out");
    const std::string sippOutput((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
    ASSERT_EQ(status, 0) << sippOutput;

    std::vector<double> busy;
    std::vector<std::string> others;
    int messagesSent = 0;
    for (const Logged& m : loggedMessages(messages)) {
        if (!m.received) {
            if (m.startLine.rfind("MESSAGE ", 0) == 0) ++messagesSent;
        } else if (m.startLine.rfind("SIP/2.0 486", 0) == 0) {
            busy.push_back(m.at);
        } else {
            others.push_back(m.startLine);
        }
    }
    // The 486 and its retransmissions: T1, 2*T1, 4*T1 = T2, then T2 each time (more come
    // while the MESSAGE is exchanged, until Timer H).
    ASSERT_GE(busy.size(), 7u);
    const std::vector<int> expected = {kT1, 2 * kT1, kT2, kT2, kT2, kT2};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const double interval = busy[i + 1] - busy[i];
        EXPECT_NEAR(interval, expected[i], 40.0) << "interval " << i;
    }
    // The MESSAGE went out again while the user was slow, yet reached it once and got one 200;
    // then the INVITE's 100 Trying.
    EXPECT_GE(messagesSent, 2);
    EXPECT_EQ(others, (std::vector<std::string>{"SIP/2.0 200 OK", "SIP/2.0 100 Trying"}));
    EXPECT_EQ(user.requests.load(), 2);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace kel_sip::test
