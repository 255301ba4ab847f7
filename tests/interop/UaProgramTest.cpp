// tessaly-ua as its peers see it: a script on its standard input places, answers, transfers
// and registers, SIPp or kamailio playing the other side. A script passes when SIPp exits 0
// (every message it expects came) and the driver wrote no error line.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ProgramSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tessaly_interop::ChildProcess;

std::string replaced(std::string text, const std::string& word, int port) {
    for (std::size_t at; (at = text.find(word)) != std::string::npos;) text.replace(at, word.size(), std::to_string(port));
    return text;
}

// The lines of the driver's output that report a failed command.
std::string errorLines(const std::string& output) {
    std::istringstream in(output);
    std::string errors;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("error ", 0) == 0) errors += line + "\n";
    }
    return errors;
}

// The rows of a /proc/net table (tcp, udp, ...) below its heading, each split into its columns:
// 1 the local address (hex address:hex port), 3 the state, 9 the inode.
std::vector<std::vector<std::string>> netTable(const std::string& table) {
    std::ifstream in("/proc/net/" + table);
    std::string line;
    std::getline(in, line);
    std::vector<std::vector<std::string>> rows;
    while (std::getline(in, line)) {
        std::istringstream columns(line);
        std::vector<std::string>& row = rows.emplace_back();
        for (std::string column; row.size() < 10 && columns >> column;) row.push_back(column);
        if (row.size() < 10) rows.pop_back();
    }
    return rows;
}

// Whether a UDP socket is bound to port on this host: SIPp takes a moment before it listens.
bool waitUdpBound(int port, std::chrono::milliseconds limit) {
    char hexPort[8];
    std::snprintf(hexPort, sizeof hexPort, ":%04X", port);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        for (const char* table : {"udp", "udp6"}) {
            for (const auto& row : netTable(table)) {
                if (row[1].size() > 5 && row[1].compare(row[1].size() - 5, 5, hexPort) == 0) return true;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);  // polling a table another process changes
    }
}

struct UaCall {
    std::string scenario;  // a file of this folder without ".xml"
    bool sippCalls;        // SIPp places the call; else tessaly-ua does
    std::string script;    // "SIPP" stands for SIPp's port
    int sippRuns = 1;      // the calls SIPp runs before it exits
    std::string settings = {};  // the driver's settings file; none when empty
    std::string body = {};      // written to the file the script names as BODY
};

void runCall(const UaCall& call, const std::string& expectedEvent) {
    const fs::path dir = tessaly_interop::freshDirectory(call.scenario);
    const int sippPort = tessaly_interop::freeUdpPort();
    const int uaPort = tessaly_interop::freeUdpPort();
    std::string script = replaced(call.script, "SIPP", sippPort);
    for (std::size_t at; (at = script.find("BODY")) != std::string::npos;) script.replace(at, 4, (dir / "body").string());
    std::ofstream(dir / "script.txt") << script;
    if (!call.body.empty()) std::ofstream(dir / "body") << call.body;
    std::string options = " --port " + std::to_string(uaPort);
    if (!call.settings.empty()) {
        std::ofstream(dir / "settings.ini") << call.settings;
        options += " -f " + (dir / "settings.ini").string();
    }

    std::vector<std::string> sippArgs = tessaly_interop::sippArguments(
        TESSALY_SIPP, std::string(TESSALY_INTEROP_DIR) + "/" + call.scenario + ".xml", sippPort, dir);
    sippArgs[4] = std::to_string(call.sippRuns);  // the value of -m
    if (call.sippCalls) sippArgs.insert(sippArgs.begin() + 1, "127.0.0.1:" + std::to_string(uaPort));
    const std::string uaCommand =
        std::string("exec ") + TESSALY_UA + options + " < " + (dir / "script.txt").string();
    const std::vector<std::string> uaArgs = {"/bin/sh", "-c", uaCommand};
    // The side that answers starts first; the caller's INVITE is retransmitted meanwhile anyway.
    ChildProcess first(call.sippCalls ? uaArgs : sippArgs, dir / (call.sippCalls ? "ua.out" : "sipp.out"));
    ASSERT_TRUE(first.started());
    if (call.sippCalls) {
        ASSERT_TRUE(tessaly_interop::waitForText(dir / "ua.out", "listening on UDP", 10s));
    } else {
        // A request the driver sends and quits after is not sent again once it has quit.
        ASSERT_TRUE(waitUdpBound(sippPort, 10s));
    }
    ChildProcess second(call.sippCalls ? sippArgs : uaArgs, dir / (call.sippCalls ? "sipp.out" : "ua.out"));
    ASSERT_TRUE(second.started());

    ChildProcess& ua = call.sippCalls ? first : second;
    ChildProcess& sipp = call.sippCalls ? second : first;
    const int uaStatus = ua.waitExit(30s);
    const int sippStatus = sipp.waitExit(30s);
    const std::string uaOut = tessaly_interop::readText(dir / "ua.out");
    EXPECT_EQ(uaStatus, 0) << uaOut;
    EXPECT_EQ(errorLines(uaOut), "") << uaOut;
    EXPECT_EQ(sippStatus, 0) << tessaly_interop::readText(dir / "errors.log")
                             << tessaly_interop::readText(dir / "messages.log");
    EXPECT_NE(uaOut.find(expectedEvent), std::string::npos) << uaOut;
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

// tessaly-ua with a script the test writes as it goes, through a FIFO on its standard input.
class LiveUa {
public:
    LiveUa(const fs::path& dir, int port, const std::string& options = {}) : dir_(dir) {
        const fs::path fifo = dir / "script.fifo";
        EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        // Read and write: the open does not wait for the reader, and closing it is the end of input
        // (close-on-exec, or the driver would hold a writer itself).
        script_ = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
        const std::string command =
            std::string("exec ") + TESSALY_UA + " --port " + std::to_string(port) + " " + options + " < " + fifo.string();
        process_.emplace(std::vector<std::string>{"/bin/sh", "-c", command}, dir / "ua.out");
    }
    ~LiveUa() {
        if (script_ >= 0) ::close(script_);
    }
    LiveUa(const LiveUa&) = delete;
    LiveUa& operator=(const LiveUa&) = delete;

    bool started() { return script_ >= 0 && process_->started() && waitFor("listening on UDP"); }
    pid_t pid() const { return process_->pid(); }
    void send(const std::string& line) {
        const std::string text = line + "\n";
        EXPECT_EQ(::write(script_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    bool waitFor(const std::string& text) { return tessaly_interop::waitForText(dir_ / "ua.out", text, 20s); }
    std::string output() const { return tessaly_interop::readText(dir_ / "ua.out"); }
    // Ends the input; the exit status.
    int finish() {
        ::close(script_);
        script_ = -1;
        return process_->waitExit(30s);
    }

private:
    fs::path dir_;
    int script_ = -1;
    std::optional<ChildProcess> process_;
};

TEST(UaProgram, ScriptPlacesACallSippAnswersAndTheScriptHangsUp) {
    runCall({"ua_call_answered", false,
             "invite sip:uas@127.0.0.1:SIPP\n"
             "wait \"Inviting confirmed\"\n"
             "bye\n"
             "wait \"Sent BYE\"\n"
             "quit\n"},
            "type=2 \"Inviting confirmed\" state=\"Inviting Confirmed\" status=200");
}

// The 401 to the INVITE is answered once with the credentials of the settings file; the call
// the script hangs up is the retried one.
TEST(UaProgram, ChallengedInviteIsSentAgainWithCredentialsAndAnswered) {
    runCall({"ua_call_digest", false,
             "invite sip:uas@127.0.0.1:SIPP\n"
             "wait \"Inviting confirmed\"\n"
             "bye\n"
             "wait \"Sent BYE\"\n"
             "quit\n",
             1, "[Basic]\nUser=alice\nPassword=tessaly-test\n"},
            "type=2 \"Inviting confirmed\" state=\"Inviting Confirmed\" status=200");
}

// Credentials that are challenged again were wrong: the call fails, without a third INVITE.
TEST(UaProgram, InviteChallengedAgainAfterCredentialsFails) {
    runCall({"ua_call_digest_refused", false,
             "invite sip:uas@127.0.0.1:SIPP\n"
             "wait \"Inviting failed\"\n"
             "wait \"Inviting failed\"\n"
             "quit\n",
             1, "[Basic]\nUser=alice\nPassword=tessaly-test\n"},
            "event session id=2 type=4 \"Inviting failed\" state=\"Idle\" status=401");
}

TEST(UaProgram, ScriptCancelsTheRingingCallAndTheInviteEndsWith487) {
    runCall({"ua_call_cancelled", false,
             "invite sip:uas@127.0.0.1:SIPP\n"
             "wait \"Inviting proceeding\"\n"
             "cancel\n"
             "wait \"Inviting failed\"\n"
             "quit\n"},
            "type=4 \"Inviting failed\" state=\"Idle\" status=487");
}

TEST(UaProgram, SippCallsTheScriptAnswersAndSippHangsUp) {
    runCall({"ua_call_placed", true,
             "wait Invited\n"
             "answer 180\n"
             "answer 200\n"
             "wait Acked\n"
             "wait \"Received Bye\"\n"
             "quit\n"},
            "type=23 \"Acked\"");
}

// The INFO in the call is answered 200 by the driver on its own.
TEST(UaProgram, SippSendsInfoInTheCallAndTheDriverAnswers200) {
    runCall({"answering_info", true,
             "wait Invited\n"
             "answer 200\n"
             "wait Acked\n"
             "wait \"Received Bye\"\n"
             "quit\n"},
            "type=25 \"Received Bye\"");
}

TEST(UaProgram, WithReliableProvisionalsSwitchedOnTheScriptPrAcksThe180) {
    runCall({"ua_call_100rel", false,
             "invite sip:uas@127.0.0.1:SIPP\n"
             "wait \"PrAcking succeeded\"\n"
             "wait \"Inviting confirmed\"\n"
             "bye\n"
             "wait \"Sent BYE\"\n"
             "quit\n",
             1, "[Option]\nProcess100rel=1\nOrig100relProcessType=1\n"},
            "type=12 \"PrAcking succeeded\"");
}

TEST(UaProgram, ScriptSubscribesIsNotifiedAndUnsubscribes) {
    runCall({"ua_subscribe", false,
             "subscribe sip:pres@127.0.0.1:SIPP presence 60\n"
             "wait \"Notified (active)\"\n"
             "unsubscribe\n"
             "wait \"Notified (terminate)\"\n"
             "quit\n"},
            "type=0 \"Subscribe succeeded\"");
}

TEST(UaProgram, ScriptPublishesAndRemovesThePublication) {
    runCall({"ua_publish", false,
             "publish sip:alice@127.0.0.1:SIPP presence 60 BODY\n"
             "wait \"type=0 \\\"Published\\\"\"\n"
             "unpublish\n"
             "wait Unpublished\n"
             "quit\n",
             1, "", "<?xml version=\"1.0\"?>\n<presence xmlns=\"urn:ietf:params:xml:ns:pidf\" entity=\"sip:alice@127.0.0.1\"/>\n"},
            "\"Unpublished\"");
}

// SIPp challenges each request and each removal once; SIPp checks every retry (same Call-ID,
// higher CSeq, Authorization), and the removals name the first ID, which must reach the retried
// usage. Credentials challenged again are not sent a third time.
TEST(UaProgram, ChallengedSubscriptionsAndPublicationsAreSentAgainWithCredentials) {
    const std::string alice = "[Basic]\nUser=alice\nPassword=tessaly-test\n";
    const std::string document =
        "<?xml version=\"1.0\"?>\n<presence xmlns=\"urn:ietf:params:xml:ns:pidf\" entity=\"sip:alice@127.0.0.1\"/>\n";
    const struct {
        UaCall call;
        std::string expectedEvent;
    } cases[] = {
        {{"ua_subscribe_digest", false,
          "subscribe sip:pres@127.0.0.1:SIPP presence 60\n"
          "wait \"Notified (active)\"\n"
          "unsubscribe 1\n"
          "wait \"Notified (terminate)\"\n"
          "quit\n",
          1, alice},
         "type=1 \"Unsubscribe succeeded\""},
        {{"ua_publish_digest", false,
          "publish sip:alice@127.0.0.1:SIPP presence 60 BODY\n"
          "wait \"type=0 \\\"Published\\\"\"\n"
          "unpublish 1\n"
          "wait Unpublished\n"
          "quit\n",
          1, alice, document},
         "\"Unpublished\""},
        {{"ua_subscribe_digest_refused", false,
          "subscribe sip:pres@127.0.0.1:SIPP presence 60\n"
          "wait \"Subscribe failed\"\n"
          "wait \"Subscribe failed\"\n"
          "quit\n",
          1, alice},
         "type=3 \"Subscribe failed\" state=\"Idle\" status=401"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.call.scenario);
        runCall(each.call, each.expectedEvent);
    }
}

TEST(UaProgram, ScriptSendsARequestOutsideAnyDialogWithItsHeaderLine) {
    runCall({"ua_request", false,
             "request MESSAGE sip:bob@127.0.0.1:SIPP \"X-Tessaly-Test: one two\"\n"
             "quit\n"},
            "ok request");
}

// Attended transfer: the REFER in the first call names the second in its Replaces header.
TEST(UaProgram, ReferWithReplacesNamesTheOtherCall) {
    runCall({"ua_refer_replaces", false,
             "invite sip:uas@127.0.0.1:SIPP\n"
             "wait \"Inviting confirmed\"\n"
             "invite sip:uas@127.0.0.1:SIPP\n"
             "wait \"Inviting confirmed\"\n"
             "refer 1 sip:carol@127.0.0.1 replaces 2\n"
             "wait \"Refer succeeded\"\n"
             "bye 1\n"
             "wait \"Sent BYE\"\n"
             "bye 2\n"
             "wait \"Sent BYE\"\n"
             "quit\n",
             2},
            "\"Refer succeeded\"");
}

TEST(UaProgram, NotifyForNoDialogIsAnswered481) {
    const fs::path dir = tessaly_interop::freshDirectory("ua_notify_no_dialog");
    const int uaPort = tessaly_interop::freeUdpPort();
    LiveUa ua(dir, uaPort);
    ASSERT_TRUE(ua.started()) << ua.output();
    std::vector<std::string> sippArgs = tessaly_interop::sippArguments(
        TESSALY_SIPP, std::string(TESSALY_INTEROP_DIR) + "/ua_notify_no_dialog.xml",
        tessaly_interop::freeUdpPort(), dir);
    sippArgs.insert(sippArgs.begin() + 1, "127.0.0.1:" + std::to_string(uaPort));
    ChildProcess sipp(sippArgs, dir / "sipp.out");
    ASSERT_TRUE(sipp.started());
    EXPECT_EQ(sipp.waitExit(30s), 0) << tessaly_interop::readText(dir / "messages.log");
    EXPECT_EQ(ua.finish(), 0);
    // No call and no subscription is left behind to report anything.
    EXPECT_EQ(ua.output().find("event "), std::string::npos) << ua.output();
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

// The socket inodes of a process's descriptors.
std::set<std::string> socketInodes(pid_t pid) {
    std::set<std::string> inodes;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
        std::error_code error;
        const std::string target = fs::read_symlink(fd.path(), error).string();
        if (!error && target.rfind("socket:[", 0) == 0) inodes.insert(target.substr(8, target.size() - 9));
    }
    return inodes;
}

// How many of inodes a /proc/net table lists.
int countListed(const std::set<std::string>& inodes, const std::string& table) {
    int count = 0;
    for (const auto& row : netTable(table)) count += static_cast<int>(inodes.count(row[9]));
    return count;
}

// Whether one of inodes is a TCP socket listening (state 0A) on port.
bool listensOnTcp(const std::set<std::string>& inodes, int port) {
    char hexPort[8];
    std::snprintf(hexPort, sizeof hexPort, ":%04X", port);
    for (const char* table : {"tcp", "tcp6"}) {
        for (const auto& row : netTable(table)) {
            const bool onPort = row[1].size() > 5 && row[1].compare(row[1].size() - 5, 5, hexPort) == 0;
            if (onPort && row[3] == "0A" && inodes.count(row[9]) > 0) return true;
        }
    }
    return false;
}

TEST(UaProgram, WithTcpOffTheDriverHoldsNoTcpSocket) {
    const fs::path dir = tessaly_interop::freshDirectory("ua_no_tcp");
    LiveUa ua(dir, tessaly_interop::freeUdpPort());
    ASSERT_TRUE(ua.started()) << ua.output();
    const std::set<std::string> inodes = socketInodes(ua.pid());
    // The UDP socket is seen, so the inodes are read right.
    EXPECT_GE(countListed(inodes, "udp") + countListed(inodes, "udp6"), 1);
    EXPECT_EQ(countListed(inodes, "tcp") + countListed(inodes, "tcp6"), 0);
    EXPECT_EQ(ua.finish(), 0);
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

// UseTCP on: the driver listens on SipTCPPort, and a call SIPp places over TCP is answered on
// its own and hung up by SIPp, every message on the one connection.
TEST(UaProgram, WithTcpOnSippCallsOverTcpAndTheDriverAnswers) {
    const fs::path dir = tessaly_interop::freshDirectory("ua_tcp_call");
    const int tcpPort = tessaly_interop::freeTcpPort();
    std::ofstream(dir / "settings.ini") << "[Sip]\nUseTCP=1\nSipTCPPort=" << tcpPort << "\n";
    LiveUa ua(dir, tessaly_interop::freeUdpPort(), "--answer 200 -f " + (dir / "settings.ini").string());
    ASSERT_TRUE(ua.started()) << ua.output();
    EXPECT_TRUE(listensOnTcp(socketInodes(ua.pid()), tcpPort)) << "no TCP listener on " << tcpPort;

    std::vector<std::string> sippArgs = tessaly_interop::sippArguments(
        TESSALY_SIPP, std::string(TESSALY_INTEROP_DIR) + "/ua_call_placed.xml", tessaly_interop::freeTcpPort(), dir);
    sippArgs.insert(sippArgs.begin() + 1, {"127.0.0.1:" + std::to_string(tcpPort), "-t", "t1"});
    ChildProcess sipp(sippArgs, dir / "sipp.out");
    ASSERT_TRUE(sipp.started());
    EXPECT_EQ(sipp.waitExit(30s), 0) << tessaly_interop::readText(dir / "errors.log")
                                     << tessaly_interop::readText(dir / "messages.log");
    EXPECT_TRUE(ua.waitFor("\"Received Bye\"")) << ua.output();
    EXPECT_EQ(ua.finish(), 0);
    EXPECT_NE(ua.output().find("type=23 \"Acked\""), std::string::npos) << ua.output();
    EXPECT_EQ(errorLines(ua.output()), "") << ua.output();
    // Nothing of the call went over UDP, and the tag the Invited line gave is the To tag of the answers.
    const std::string messages = tessaly_interop::readText(dir / "messages.log");
    EXPECT_EQ(messages.find("UDP message"), std::string::npos);
    const std::string output = ua.output();
    const auto tag = output.find(" tag=", output.find("\"Invited\""));
    ASSERT_NE(tag, std::string::npos) << output;
    const std::string localTag = output.substr(tag + 5, output.find('\n', tag) - tag - 5);
    EXPECT_NE(messages.find(">;tag=" + localTag + "\r\n"), std::string::npos) << localTag << "\n" << messages;
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

#ifdef TESSALY_BARESIP
// baresip on 127.0.0.1 with a configuration of its own: auto-answer, G.711, a file of silence
// as its sound source and none as its player, its SIP trace on its output.
class Baresip {
public:
    Baresip(const fs::path& dir, const std::string& command = {}) : dir_(dir), port_(tessaly_interop::freeUdpPort()) {
        const fs::path config = dir / "baresip";
        fs::create_directories(config);
        writeSilence(config / "silence.wav");
        std::ofstream(config / "config") << "module_path /usr/lib/baresip/modules\n"
                                         << "sip_listen 127.0.0.1:" << port_ << "\n"
                                         << "audio_player aufile,/dev/null\n"
                                         << "audio_source aufile," << (config / "silence.wav").string() << "\n"
                                         << "audio_alert aufile,/dev/null\n"
                                         << "module g711.so\nmodule aufile.so\n"
                                         << "module_app account.so\nmodule_app menu.so\n";
        std::ofstream(config / "accounts") << "<sip:bs@127.0.0.1>;regint=0;answermode=auto\n";
        std::vector<std::string> args = {TESSALY_BARESIP, "-f", config.string(), "-s"};
        if (!command.empty()) args.insert(args.end(), {"-e", command});
        process_.emplace(args, dir / "baresip.out");
    }
    ~Baresip() {
        process_->signal(SIGTERM);
        if (process_->waitExit(10s) < 0) process_->signal(SIGKILL);
    }
    Baresip(const Baresip&) = delete;
    Baresip& operator=(const Baresip&) = delete;

    bool ready() { return process_->started() && waitFor("baresip is ready."); }
    bool waitFor(const std::string& text) { return tessaly_interop::waitForText(dir_ / "baresip.out", text, 20s); }
    std::string output() const { return tessaly_interop::readText(dir_ / "baresip.out"); }
    int port() const { return port_; }

private:
    // One second of 16-bit mono silence at 8 kHz, the rate baresip's file source wants for G.711.
    static void writeSilence(const fs::path& file) {
        const auto le = [](std::ofstream& out, std::uint32_t value, int bytes) {
            for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xff));
        };
        constexpr std::uint32_t kBytes = 16000;
        std::ofstream out(file, std::ios::binary);
        out << "RIFF";
        le(out, 36 + kBytes, 4);
        out << "WAVEfmt ";
        le(out, 16, 4);
        le(out, 1, 2);     // PCM
        le(out, 1, 2);     // mono
        le(out, 8000, 4);  // samples a second
        le(out, 16000, 4); // bytes a second
        le(out, 2, 2);
        le(out, 16, 2);
        out << "data";
        le(out, kBytes, 4);
        out << std::string(kBytes, '\0');
    }

    fs::path dir_;
    int port_;
    std::optional<ChildProcess> process_;
};

TEST(UaProgram, BaresipAnswersACallThatIsHeldResumedAndEnded) {
    const fs::path dir = tessaly_interop::freshDirectory("ua_baresip_hold");
    Baresip baresip(dir);
    ASSERT_TRUE(baresip.ready()) << baresip.output();
    LiveUa ua(dir, tessaly_interop::freeUdpPort());
    ASSERT_TRUE(ua.started()) << ua.output();
    ua.send("invite sip:bs@127.0.0.1:" + std::to_string(baresip.port()) +
            "\nwait \"Inviting confirmed\""
            "\nreinvite hold\nwait \"Re-Inviting confirmed\""
            "\nreinvite resume\nwait \"Re-Inviting confirmed\""
            "\nbye\nwait \"Sent BYE\"");
    EXPECT_EQ(ua.finish(), 0);
    EXPECT_EQ(errorLines(ua.output()), "") << ua.output();
    EXPECT_TRUE(baresip.waitFor("session closed")) << baresip.output();
    // Our hold offer only sends, so the answer only receives (RFC 3264 section 6.1); the
    // answer to the resume is both ways again.
    const std::string trace = baresip.output();
    const auto held = trace.find("a=recvonly");
    ASSERT_NE(held, std::string::npos) << trace;
    EXPECT_NE(trace.find("a=sendrecv", held), std::string::npos) << trace;
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

TEST(UaProgram, BaresipCallsAndTheDriverAnswersOnItsOwn) {
    const fs::path dir = tessaly_interop::freshDirectory("ua_baresip_answer");
    const int uaPort = tessaly_interop::freeUdpPort();
    LiveUa ua(dir, uaPort, "--answer 200");
    ASSERT_TRUE(ua.started()) << ua.output();
    Baresip baresip(dir, "/dial sip:ua@127.0.0.1:" + std::to_string(uaPort));
    ASSERT_TRUE(baresip.ready()) << baresip.output();
    EXPECT_TRUE(ua.waitFor("type=23 \"Acked\"")) << ua.output() << baresip.output();
    EXPECT_NE(baresip.output().find("SIP/2.0 180 Ringing"), std::string::npos) << baresip.output();
    ua.send("bye");
    EXPECT_TRUE(ua.waitFor("\"Sent BYE\"")) << ua.output();
    EXPECT_TRUE(baresip.waitFor("session closed")) << baresip.output();
    EXPECT_EQ(ua.finish(), 0);
    EXPECT_EQ(errorLines(ua.output()), "") << ua.output();
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}
#endif

#ifdef TESSALY_KAMAILIO
// kamailio challenges every REGISTER, the removal too; the driver answers with the
// credentials of the command.
TEST(UaProgram, RegistersAndUnregistersThroughKamailioWithDigest) {
    const fs::path dir = tessaly_interop::freshDirectory("ua_kamailio");
    const int registrarPort = tessaly_interop::freeUdpPort();
    ChildProcess kamailio({TESSALY_KAMAILIO, "-f", std::string(TESSALY_INTEROP_DIR) + "/kamailio_registrar_digest.cfg",
                           "-DD", "-E", "-l", "udp:127.0.0.1:" + std::to_string(registrarPort), "-Y", dir.string(),
                           "-w", dir.string(), "-A", "CTLSOCK=\"unix:" + (dir / "ctl").string() + "\""},
                          dir / "kamailio.out", {}, true);
    ASSERT_TRUE(kamailio.started());

    LiveUa ua(dir, tessaly_interop::freeUdpPort());
    ASSERT_TRUE(ua.started()) << ua.output();
    // kamailio may still be starting: the REGISTER is retransmitted until it answers.
    ua.send("register sip:127.0.0.1:" + std::to_string(registrarPort) + " sip:alice@127.0.0.1 60 alice tessaly-test");
    EXPECT_TRUE(ua.waitFor("type=0 \"Registered\" state=\"Registered\" status=200")) << ua.output();
    ua.send("unregister");
    EXPECT_TRUE(ua.waitFor("\"Unregistered\"")) << ua.output();
    EXPECT_EQ(ua.finish(), 0);
    EXPECT_EQ(errorLines(ua.output()), "") << ua.output();
    kamailio.stop(30s);
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}
#endif

}  // namespace
