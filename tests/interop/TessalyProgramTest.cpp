// The tessaly program as a peer sees it: started with the three pseudo servers on a free UDP
// port of 127.0.0.1, driven by SIPp scenarios (one per behaviour), and stopped by SIGTERM.
// Start-up failures are checked on the program's exit status and message.
#include <signal.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ProgramSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tessaly_interop::ChildProcess;

constexpr const char* kListening = "tessaly listening on UDP 127.0.0.1:";

// The settings of a test run: all pseudo servers on, logging at level 6 into dir, no captor,
// and (unless multiExec is false) no single-instance lock.
fs::path writeSettings(const fs::path& dir, int udpPort, bool multiExec = true,
                       const std::string& name = "tessaly.ini", const std::string& sipExtra = "") {
    const fs::path file = dir / name;
    std::ofstream out(file);
    out << "[Sip]\nSipUDPPort=" << udpPort << "\n" << sipExtra
        << "[Response]\nUsePseudoRegistrar=1\nUsePseudoMessengerar=1\nUsePseudoInfoerar=1\n"
        << "[Other]\nMultiExec=" << (multiExec ? 1 : 0) << "\n"
        << "[Local]\nMessageCaptor=0\n"
        << "[Log]\nEnableLog=1\nLogLevel=6\nLogDir=" << dir.string() << "\n";
    return file;
}

// The program running in dir with args; its lock file, if any, lives in dir too.
class Tessaly {
public:
    Tessaly(const fs::path& dir, const std::vector<std::string>& args, const std::string& outputName = "tessaly.out")
        : output_(dir / outputName), process_(command(args), output_, {"XDG_RUNTIME_DIR=" + dir.string()}) {}

    // The UDP port from the listening line; -1 when the line did not come.
    int port() {
        if (!tessaly_interop::waitForText(output_, kListening, 10s)) return -1;
        const std::string text = tessaly_interop::readText(output_);
        return std::stoi(text.substr(text.find(kListening) + std::string(kListening).size()));
    }
    ChildProcess& process() { return process_; }
    std::string output() const { return tessaly_interop::readText(output_); }

private:
    static std::vector<std::string> command(const std::vector<std::string>& args) {
        std::vector<std::string> all = {TESSALY_PROGRAM};
        all.insert(all.end(), args.begin(), args.end());
        return all;
    }

    fs::path output_;
    ChildProcess process_;
};

// Runs one SIPp scenario of this folder against port; its exit status (0: every step passed,
// 1: some calls failed). localPort 0 takes a free one.
int runSipp(const std::string& scenario, int port, const fs::path& dir, int localPort = 0, const std::string& tag = "",
            const std::vector<std::string>& extra = {}) {
    const std::string name = scenario + tag;
    const fs::path messages = dir / (name + ".msg");
    std::vector<std::string> args = {TESSALY_SIPP, "127.0.0.1:" + std::to_string(port), "-sf",
                                     std::string(TESSALY_INTEROP_DIR) + "/" + scenario + ".xml", "-m", "1", "-i",
                                     "127.0.0.1", "-p",
                                     std::to_string(localPort > 0 ? localPort : tessaly_interop::freeUdpPort()),
                                     "-nostdin", "-timeout", "10", "-trace_msg", "-message_file", messages.string(),
                                     "-trace_err", "-error_file", (dir / (name + ".err")).string()};
    args.insert(args.end(), extra.begin(), extra.end());
    ChildProcess sipp(args, dir / (name + ".out"));
    return sipp.waitExit(30s);
}

// As runSipp, a failed expectation with SIPp's account unless every step passed.
int runScenario(const std::string& scenario, int port, const fs::path& dir, int localPort = 0,
                const std::string& tag = "", const std::vector<std::string>& extra = {}) {
    const int status = runSipp(scenario, port, dir, localPort, tag, extra);
    if (status != 0) {
        const std::string name = scenario + tag;
        ADD_FAILURE() << scenario << " exit " << status << "\n"
                      << tessaly_interop::readText(dir / (name + ".err"))
                      << tessaly_interop::readText(dir / (name + ".msg"));
    }
    return status;
}

class TessalyProgram : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = tessaly_interop::freshDirectory(std::string("tessaly-") +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override {
        if (!HasFailure() && !dir_.empty()) fs::remove_all(dir_);
    }

    fs::path dir_;
};

TEST_F(TessalyProgram, PseudoServersAnswerEachScenario) {
    Tessaly tessaly(dir_, {"-a", "127.0.0.1", "-f", writeSettings(dir_, 0).string()});
    const int port = tessaly.port();
    ASSERT_GT(port, 0) << tessaly.output();
    EXPECT_NE(tessaly.output().find("PseudoSipRegistrar, PseudoSipMessengerar, PseudoSipInfoerar"), std::string::npos);
    for (const char* scenario : {"pseudo_register_two_contacts", "pseudo_register_remove_all",
                                 "pseudo_register_contact_expires_zero", "pseudo_message_info", "pseudo_options",
                                 "pseudo_malformed"}) {
        EXPECT_EQ(runScenario(scenario, port, dir_), 0) << scenario;
    }
    tessaly.process().signal(SIGTERM);
    EXPECT_EQ(tessaly.process().waitExit(5s), 0);
}

TEST_F(TessalyProgram, RetransmittedRegisterGetsTheSameResponseAndIsHandledOnce) {
    Tessaly tessaly(dir_, {"-a", "127.0.0.1", "-f", writeSettings(dir_, 0).string()});
    const int port = tessaly.port();
    ASSERT_GT(port, 0) << tessaly.output();
    // Twice from the same port: the second REGISTER is a retransmission of the first.
    const int localPort = tessaly_interop::freeUdpPort();
    const std::vector<std::string> oneCallId = {"-cid_str", "retransmitted-register@%s"};
    ASSERT_EQ(runScenario("pseudo_register_retransmission", port, dir_, localPort, "-1", oneCallId), 0);
    ASSERT_EQ(runScenario("pseudo_register_retransmission", port, dir_, localPort, "-2", oneCallId), 0);
    tessaly.process().signal(SIGTERM);
    ASSERT_EQ(tessaly.process().waitExit(5s), 0);

    // The 200 each run received: identical, the To tag and Date included.
    auto response = [&](const std::string& tag) {
        const std::string text = tessaly_interop::readText(dir_ / ("pseudo_register_retransmission" + tag + ".msg"));
        const auto start = text.find("SIP/2.0 200 OK");
        const auto end = text.find("Content-Length", start);
        return start == std::string::npos ? std::string() : text.substr(start, end - start);
    };
    EXPECT_FALSE(response("-1").empty());
    EXPECT_EQ(response("-1"), response("-2"));
    EXPECT_NE(response("-1").find(";tag="), std::string::npos);
    EXPECT_EQ(tessaly_interop::countInFiles(dir_, ".log", "PseudoSipRegistrar::onReceiveRequest. Method=[REGISTER]"), 1);
}

// The settings of a run with TCP on a free port beside UDP; tcpPort gets that port.
fs::path writeTcpSettings(const fs::path& dir, int& tcpPort, const std::string& extra = "") {
    tcpPort = tessaly_interop::freeTcpPort();
    return writeSettings(dir, 0, true, "tessaly.ini", "UseTCP=1\nSipTCPPort=" + std::to_string(tcpPort) + "\n" + extra);
}

constexpr const char* kAccepted = "SipConnectionHandler::onAccepted. Succeeded addSipConnection";

TEST_F(TessalyProgram, PseudoServersAnswerOverTcpOnOneConnection) {
    int tcpPort = 0;
    Tessaly tessaly(dir_, {"-a", "127.0.0.1", "-f", writeTcpSettings(dir_, tcpPort).string()});
    ASSERT_GT(tessaly.port(), 0) << tessaly.output();
    EXPECT_NE(tessaly.output().find("TCP 127.0.0.1:" + std::to_string(tcpPort)), std::string::npos) << tessaly.output();
    EXPECT_EQ(runScenario("pseudo_register_load", tcpPort, dir_, 0, "-t1", {"-t", "t1", "-m", "20"}), 0);
    EXPECT_EQ(runScenario("pseudo_message_info", tcpPort, dir_, 0, "-info", {"-t", "t1"}), 0);
    tessaly.process().signal(SIGTERM);
    ASSERT_EQ(tessaly.process().waitExit(5s), 0);
    // One connection per SIPp run: twenty REGISTERs shared the first.
    EXPECT_EQ(tessaly_interop::countInFiles(dir_, ".log", kAccepted), 2);
    EXPECT_EQ(tessaly_interop::countInFiles(dir_, ".log", "PseudoSipRegistrar::onReceiveRequest. Method=[REGISTER]"), 20);
}

TEST_F(TessalyProgram, TcpConnectionsAboveTheCapAreClosedAndTheStackKeepsAnswering) {
    int tcpPort = 0;
    Tessaly tessaly(dir_, {"-a", "127.0.0.1", "-f", writeTcpSettings(dir_, tcpPort, "TCPMaxConnection=10\n").string()});
    ASSERT_GT(tessaly.port(), 0) << tessaly.output();
    // 110 calls at once, each on its own connection held for three seconds: 100 above the cap.
    // SIPp counts the refused calls as failed (exit 1); a reset would have ended its run (exit 255).
    EXPECT_EQ(runSipp("pseudo_register_hold", tcpPort, dir_, 0, "-tn",
                      {"-t", "tn", "-m", "110", "-l", "110", "-r", "400", "-max_socket", "200"}),
              1);
    EXPECT_EQ(runScenario("pseudo_register_load", tcpPort, dir_, 0, "-after", {"-t", "t1", "-m", "20"}), 0);
    tessaly.process().signal(SIGTERM);
    ASSERT_EQ(tessaly.process().waitExit(5s), 0);
    EXPECT_EQ(tessaly_interop::countInFiles(dir_, ".log", "SipConnectionHandler::onAccepted. Too many connection"), 100);
    EXPECT_EQ(tessaly_interop::countInFiles(dir_, ".log", kAccepted), 11);
    // Ten held calls and the twenty after them; nothing that came on a refused connection.
    EXPECT_EQ(tessaly_interop::countInFiles(dir_, ".log", "PseudoSipRegistrar::onReceiveRequest. Method=[REGISTER]"), 30);
}

TEST_F(TessalyProgram, SigtermDuringLoadStopsCleanlyWithinASecond) {
    Tessaly tessaly(dir_, {"-a", "127.0.0.1", "-f", writeSettings(dir_, 0).string()});
    const int port = tessaly.port();
    ASSERT_GT(port, 0) << tessaly.output();
    ChildProcess load({TESSALY_SIPP, "127.0.0.1:" + std::to_string(port), "-sf",
                       std::string(TESSALY_INTEROP_DIR) + "/pseudo_register_load.xml", "-r", "500", "-m", "100000",
                       "-i", "127.0.0.1", "-p", std::to_string(tessaly_interop::freeUdpPort()), "-nostdin", "-trace_stat",
                       "-stf", (dir_ / "load.csv").string(), "-fd", "1"},
                      dir_ / "load.out");
    ASSERT_TRUE(load.started());
    // Under load: the registrar has taken a few hundred REGISTERs (the log is flushed every
    // 4 KiB), and SIPp keeps sending.
    const std::string taken = "PseudoSipRegistrar::onReceiveRequest. Method=[REGISTER]";
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (tessaly_interop::countInFiles(dir_, ".log", taken) < 300 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);  // polling the log another process writes
    }
    ASSERT_GE(tessaly_interop::countInFiles(dir_, ".log", taken), 300);
    const auto stopAt = std::chrono::steady_clock::now();
    tessaly.process().signal(SIGTERM);
    const int status = tessaly.process().waitExit(5s);
    const auto took = std::chrono::steady_clock::now() - stopAt;
    EXPECT_EQ(status, 0) << tessaly.output();
    EXPECT_LT(took, 1s);
    EXPECT_NE(tessaly.output().find("tessaly stopped"), std::string::npos);
    load.signal(SIGKILL);
}

TEST_F(TessalyProgram, StartUpFailuresExitNonZeroWithAMessage) {
    // The port is taken.
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const fs::path taken = writeSettings(dir_, ntohs(address.sin_port));
    {
        Tessaly tessaly(dir_, {"-a", "127.0.0.1", "-f", taken.string()}, "taken.out");
        EXPECT_EQ(tessaly.process().waitExit(10s), 1);
        EXPECT_NE(tessaly.output().find("Failed to open UDP port " + std::to_string(ntohs(address.sin_port))),
                  std::string::npos)
            << tessaly.output();
    }
    ::close(fd);

    // An address that is not local, a settings file that does not exist, an unknown option.
    const fs::path settings = writeSettings(dir_, 0);
    Tessaly notLocal(dir_, {"-a", "192.0.2.1", "-f", settings.string()}, "notlocal.out");
    EXPECT_EQ(notLocal.process().waitExit(10s), 1);
    EXPECT_NE(notLocal.output().find("192.0.2.1"), std::string::npos) << notLocal.output();
    Tessaly noFile(dir_, {"-a", "127.0.0.1", "-f", (dir_ / "missing.ini").string()}, "nofile.out");
    EXPECT_EQ(noFile.process().waitExit(10s), 1);
    EXPECT_NE(noFile.output().find("missing.ini"), std::string::npos) << noFile.output();
    Tessaly badOption(dir_, {"-x"}, "badoption.out");
    EXPECT_EQ(badOption.process().waitExit(10s), 2);
    EXPECT_NE(badOption.output().find("usage: tessaly"), std::string::npos) << badOption.output();
}

TEST_F(TessalyProgram, SecondInstanceIsRefusedUnlessMultiExecIsSet) {
    const fs::path single = writeSettings(dir_, 0, false);
    Tessaly first(dir_, {"-a", "127.0.0.1", "-f", single.string()}, "first.out");
    ASSERT_GT(first.port(), 0) << first.output();
    Tessaly second(dir_, {"-a", "127.0.0.1", "-f", single.string()}, "second.out");
    EXPECT_EQ(second.process().waitExit(10s), 1);
    EXPECT_NE(second.output().find("MultiExec"), std::string::npos) << second.output();

    const fs::path multi = writeSettings(dir_, 0, true, "multi.ini");
    Tessaly third(dir_, {"-a", "127.0.0.1", "-f", multi.string()}, "third.out");
    EXPECT_GT(third.port(), 0) << third.output();
    third.process().signal(SIGTERM);
    EXPECT_EQ(third.process().waitExit(5s), 0);
    first.process().signal(SIGTERM);
    EXPECT_EQ(first.process().waitExit(5s), 0);
}

}  // namespace
