// tessaly-ua as its peers see it: a script on its standard input places or answers one call,
// SIPp playing the other side. Both must exit 0: SIPp when every message it expects came, the
// driver when every command of its script succeeded.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "ProgramSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tessaly_interop::ChildProcess;

struct UaCall {
    std::string scenario;  // a file of this folder without ".xml"
    bool sippCalls;        // SIPp places the call; else tessaly-ua does
    std::string script;    // "SIPP" stands for SIPp's port
};

void runCall(const UaCall& call, const std::string& expectedEvent) {
    const fs::path dir = tessaly_interop::freshDirectory(call.scenario);
    const int sippPort = tessaly_interop::freeUdpPort();
    const int uaPort = tessaly_interop::freeUdpPort();
    std::string script = call.script;
    for (std::size_t at; (at = script.find("SIPP")) != std::string::npos;) {
        script.replace(at, 4, std::to_string(sippPort));
    }
    std::ofstream(dir / "script.txt") << script;

    std::vector<std::string> sippArgs = tessaly_interop::sippArguments(
        TESSALY_SIPP, std::string(TESSALY_INTEROP_DIR) + "/" + call.scenario + ".xml", sippPort, dir);
    if (call.sippCalls) sippArgs.insert(sippArgs.begin() + 1, "127.0.0.1:" + std::to_string(uaPort));
    const std::string uaCommand =
        std::string("exec ") + TESSALY_UA + " --port " + std::to_string(uaPort) + " < " + (dir / "script.txt").string();
    const std::vector<std::string> uaArgs = {"/bin/sh", "-c", uaCommand};
    // The side that answers starts first; the caller's INVITE is retransmitted meanwhile anyway.
    ChildProcess first(call.sippCalls ? uaArgs : sippArgs, dir / (call.sippCalls ? "ua.out" : "sipp.out"));
    ASSERT_TRUE(first.started());
    if (call.sippCalls) {
        ASSERT_TRUE(tessaly_interop::waitForText(dir / "ua.out", "listening on UDP", 10s));
    }
    ChildProcess second(call.sippCalls ? sippArgs : uaArgs, dir / (call.sippCalls ? "sipp.out" : "ua.out"));
    ASSERT_TRUE(second.started());

    ChildProcess& ua = call.sippCalls ? first : second;
    ChildProcess& sipp = call.sippCalls ? second : first;
    const int uaStatus = ua.waitExit(30s);
    const int sippStatus = sipp.waitExit(30s);
    const std::string uaOut = tessaly_interop::readText(dir / "ua.out");
    EXPECT_EQ(uaStatus, 0) << uaOut;
    EXPECT_EQ(sippStatus, 0) << tessaly_interop::readText(dir / "errors.log")
                             << tessaly_interop::readText(dir / "messages.log");
    EXPECT_NE(uaOut.find(expectedEvent), std::string::npos) << uaOut;
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

TEST(UaProgram, ScriptPlacesACallSippAnswersAndTheScriptHangsUp) {
    runCall({"ua_call_answered", false,
             "invite sip:uas@127.0.0.1:SIPP\n"
             "wait \"Inviting confirmed\"\n"
             "bye\n"
             "wait \"Sent BYE\"\n"
             "quit\n"},
            "event session 2 Inviting confirmed dialog=");
}

TEST(UaProgram, ScriptCancelsTheRingingCallAndTheInviteEndsWith487) {
    runCall({"ua_call_cancelled", false,
             "invite sip:uas@127.0.0.1:SIPP\n"
             "wait \"Inviting proceeding\"\n"
             "cancel\n"
             "wait \"Inviting failed\"\n"
             "quit\n"},
            "event session 4 Inviting failed dialog=");
}

TEST(UaProgram, SippCallsTheScriptAnswersAndSippHangsUp) {
    runCall({"ua_call_placed", true,
             "wait Invited\n"
             "answer 180\n"
             "answer 200\n"
             "wait Acked\n"
             "wait \"Received Bye\"\n"
             "quit\n"},
            "event session 23 Acked dialog=");
}

}  // namespace
