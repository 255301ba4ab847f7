// sipsak sends an OPTIONS to the host itself ("sip:127.0.0.1:PORT"); the UDP transport must
// answer it 200 on its own, addressed so that sipsak receives it, and never bother the
// transaction controller.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "../TransportTestSupport.h"
#include "kel_sip/transport/SipTransportHooks.h"
#include "kel_sip/transport/SipUDPTransport.h"

namespace kel_sip {
namespace {

struct RunResult {
    int exitCode = -1;
    std::string output;
};

RunResult run(const std::string& command) {
    RunResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 4096> buffer{};
    size_t read = 0;
    while ((read = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), read);
    const int status = pclose(pipe);
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

TEST(SipsakInterop, OptionsToTheHostIsAnswered200ByTheTransport) {
    kel_test::RecordingReceiver receiver;
    SipUDPTransport transport(receiver, 0);
    setAnswerOwnOptions(true);
    ASSERT_TRUE(transport.open("127.0.0.1", 0, "127.0.0.1", AF_INET, false));
    const int port = transport.getLocalAddress().getPort();

    // -vv prints the reply; the exit code is 0 only for a 2xx reply.
    const RunResult result = run(std::string(TESSALY_SIPSAK) + " -vv -s sip:127.0.0.1:" + std::to_string(port) + " 2>&1");
    transport.close();
    setAnswerOwnOptions(false);

    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("SIP/2.0 200"), std::string::npos) << result.output;
    EXPECT_EQ(receiver.count(), 0u);
}

}  // namespace
}  // namespace kel_sip
