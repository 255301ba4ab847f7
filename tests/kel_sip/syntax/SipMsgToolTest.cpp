// The tessaly-sipmsg tool, run as a program; its printed messages are checked with tshark.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "SipCorpus.h"

#ifdef TESSALY_SIPMSG

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun run(const std::string& command) {
    ToolRun result;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return result;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) result.out.append(chunk, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

std::string tool() { return quoted(TESSALY_SIPMSG); }

// A scratch directory removed at the end of the test.
class ScratchDir {
public:
    ScratchDir() : path_(fs::temp_directory_path() / ("tessaly-sipmsg-" + std::to_string(getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        fs::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string write(const std::string& name, const std::string& bytes) const {
        const fs::path file = path_ / name;
        std::ofstream(file, std::ios::binary) << bytes;
        return file.string();
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

bool haveTshark() { return run("command -v tshark && command -v text2pcap && command -v od").status == 0; }

}  // namespace

TEST(SipMsgTool, VerdictPerFileFollowsWhatTheUdpTransportDoes) {
    ScratchDir dir;
    const std::string via = "Via: SIP/2.0/UDP 192.0.2.1;branch=z9hG4bK1\r\n";
    const std::string dialog = "From: <sip:a@x>;tag=1\r\nTo: <sip:b@y>\r\nCall-ID: c1\r\n";
    struct Case {
        const char* name;
        std::string bytes;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"good", "OPTIONS sip:b@y SIP/2.0\r\n" + via + dialog + "CSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n",
         "\tparse\t"},
        {"badheader", "OPTIONS sip:b@y SIP/2.0\r\n" + via + dialog + "CSeq: x OPTIONS\r\n\r\n",
         "\t400\tinvalid CSeq, (invalid cseq"},
        {"version", "OPTIONS sip:b@y SIP/3.0\r\n" + via + dialog + "CSeq: 1 OPTIONS\r\n\r\n",
         "\t505\tinvalid SIP Version"},
        {"scheme", "OPTIONS http://example.org/ SIP/2.0\r\n" + via + dialog + "CSeq: 1 OPTIONS\r\n\r\n",
         "\t416\tinvalid RequestURI"},
        {"noVia", "OPTIONS sip:b@y SIP/2.0\r\n" + dialog + "CSeq: x OPTIONS\r\n\r\n", "\tdrop\tinvalid CSeq"},
        // An ACK is never answered, however broken.
        {"badAck", "ACK sip:b@y SIP/3.0\r\n" + via + dialog + "CSeq: 1 ACK\r\n\r\n", "\tdrop\tinvalid SIP Version"},
        {"unparsedAck", "ACK sip:b@y SIP/2.0\r\n" + via + dialog + "CSeq: 1 ACK\r\nMax-Forwards: x\r\n\r\n",
         "\tdrop\tinvalid Max-Forwards"},
        {"response", "SIP/2.0 200 OK\r\n" + via + dialog + "CSeq: 1 OPTIONS\r\nContent-Length: 9\r\n\r\n",
         "\tdrop\tcontent data length too short"},
        {"junk", std::string("\x16\x03\x01\x02\x00\r\n\r\n", 9), "\tdrop\tinvalid first line"},
        {"empty", "", "\tdrop\tno first line"},
    };
    std::string arguments;
    for (const Case& c : cases) arguments += " " + quoted(dir.write(c.name, c.bytes));
    const ToolRun result = run(tool() + arguments);
    EXPECT_EQ(result.status, 0);
    const auto output = lines(result.out);
    ASSERT_EQ(output.size(), cases.size()) << result.out;
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(output[i].rfind(dir.file(cases[i].name) + cases[i].expected, 0), 0u) << output[i];
    }
}

TEST(SipMsgToolUsage, ExitStatusAndStandardInput) {
    const std::string file = std::string(TESSALY_TEST_DATA_DIR) + "/corpus/20-options.sip";
    const ToolRun piped = run("cat " + quoted(file) + " | " + tool() + " -");
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.out, "-\tparse\t\n");
    const ToolRun missing = run(tool() + " /nonexistent/file " + quoted(file));
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, file + "\tparse\t\n");
    EXPECT_EQ(run(tool()).status, 2);
    EXPECT_EQ(run(tool() + " --switch nosuch=1 " + quoted(file)).status, 2);
    EXPECT_EQ(run(tool() + " --switch compact=2 " + quoted(file)).status, 2);
    EXPECT_EQ(run(tool() + " --bench 0 " + quoted(file)).status, 2);
    EXPECT_EQ(run(tool() + " --unknown " + quoted(file)).status, 2);
}

TEST(SipMsgToolUsage, PrintFollowsTheSwitchesAndBenchReportsARate) {
    const std::string file = quoted(std::string(TESSALY_TEST_DATA_DIR) + "/corpus/03-ringing-180.sip");
    const ToolRun compact = run(tool() + " --switch compact=1 --switch viaSeparateLine=1 --print " + file);
    EXPECT_NE(compact.out.find("\r\nv: SIP/2.0/UDP proxy2.example.org;branch=z9hG4bK2d4790.1\r\nv: "), std::string::npos)
        << compact.out;
    EXPECT_NE(compact.out.find("\r\nl: 0\r\n\r\n"), std::string::npos);
    const ToolRun bench = run(tool() + " --bench 3 " + file + " " + file);
    EXPECT_EQ(bench.status, 0);
    const auto output = lines(bench.out);
    ASSERT_FALSE(output.empty());
    EXPECT_EQ(output.back().rfind("parse+print: ", 0), 0u);
    EXPECT_EQ(output.back().substr(output.back().size() - 7), " msgs/s");
}

TEST(SipMsgToolTshark, PrintedCorpusDecodesAsSipWithoutMalformedMarks) {
    if (!haveTshark()) GTEST_SKIP() << "tshark, text2pcap or od is not installed";
    const auto corpus = kel_sip::test::loadCorpus();
    const std::vector<std::string> layouts = {
        "",
        "--switch compact=1 --switch oneLine=1",
        "--switch viaSeparateLine=1 --switch routeSeparateLine=1 --switch recordRouteSeparateLine=1",
        "--switch escapeRequestURI=1 --switch escapeFrom=1 --switch escapeTo=1 --switch escapeContact=1 "
        "--switch escapeRoute=1 --switch escapeRecordRoute=1",
    };
    ScratchDir dir;
    for (const std::string& layout : layouts) {
        // One UDP packet per corpus message: text2pcap starts a packet at every offset 0.
        const std::string hex = dir.file("all.hex");
        const std::string pcap = dir.file("all.pcap");
        std::remove(hex.c_str());
        for (const auto& [name, bytes] : corpus) {
            const std::string path = quoted(std::string(TESSALY_TEST_DATA_DIR) + "/corpus/" + name);
            ASSERT_EQ(run(tool() + " --print " + layout + " " + path + " | tail -n +2 | od -Ax -tx1 -v >> " +
                          quoted(hex)).status,
                      0);
        }
        ASSERT_EQ(run("text2pcap -q -u 5060,5060 " + quoted(hex) + " " + quoted(pcap)).status, 0);
        const ToolRun decoded = run("tshark -r " + quoted(pcap) +
                                " -T fields -E separator=/t -e frame.number -e sip.Method -e sip.Status-Code"
                                " -e _ws.malformed -e _ws.expert.severity");
        ASSERT_EQ(decoded.status, 0);
        const auto frames = lines(decoded.out);
        ASSERT_EQ(frames.size(), corpus.size()) << layout << "\n" << decoded.out;
        for (size_t i = 0; i < frames.size(); ++i) {
            std::vector<std::string> fields;
            std::istringstream in(frames[i]);
            for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
            fields.resize(5);
            EXPECT_TRUE(!fields[1].empty() || !fields[2].empty()) << corpus[i].first << " not decoded as SIP, " << layout;
            EXPECT_TRUE(fields[3].empty()) << corpus[i].first << " malformed, " << layout;
            // Notes (an unregistered header name) are fine; warnings and errors are not.
            EXPECT_TRUE(fields[4].empty() || std::stol(fields[4]) < 0x600000) << corpus[i].first << ", " << layout;
        }
    }
}

#endif  // TESSALY_SIPMSG
