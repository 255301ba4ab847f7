// A settings file saved here must read the same in Python's configparser, the usual tool for
// scripting test set-ups around the phone.
#include "phone/SettingsFile.h"

#include "kel_util/IniFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

using kel_util::IniFile;

namespace {

std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

Settings unusualSettings() {
    Settings s;
    s.basic.user = "semi;colon #hash = equals %percent% \"quoted\"";
    s.basic.password = "";
    s.extension.registerQValue = 0.8;
    s.sendReq.sendReqContent = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\n";
    s.header.additionalHeaders[12] = "X-Update: 1\r\nX-Other: a\\b";
    s.local.backgroundAlpha = 100;
    s.local.inviteToHistory = {"\"Name\" <sip:a@b>", "<sip:c@d>;tag=x"};
    s.presence.buddies = {{"alice", "Alice"}};
    s.filter.sendingRequestRegex = "^(INVITE .*)$";
    return s;
}

}  // namespace

TEST(SettingsInterop, ConfigParserReadsTheSameSectionsKeysAndValues) {
    if (std::system("python3 -c 'import configparser' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    char pattern[] = "/tmp/tessaly-interop-XXXXXX.ini";
    const int fd = ::mkstemps(pattern, 4);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const std::string path = pattern;
    { std::ofstream(path) << "; kept comment\n[Unknown]\nkey=value\n"; }
    SettingsFile file(path, "/");
    ASSERT_TRUE(file.save(unusualSettings(), false));
    const IniFile ours = IniFile::read(path);

    const std::string dump = run("python3 '" TESSALY_TEST_DATA_DIR "/dump_ini.py' '" + path + "'");
    ::unlink(path.c_str());
    std::istringstream lines(dump);
    std::string line;
    int keys = 0;
    while (std::getline(lines, line)) {
        const auto tab1 = line.find('\t');
        const auto tab2 = line.find('\t', tab1 + 1);
        ASSERT_NE(tab2, std::string::npos) << line;
        const std::string section = line.substr(0, tab1);
        const std::string key = line.substr(tab1 + 1, tab2 - tab1 - 1);
        EXPECT_EQ(ours.get(section, key), line.substr(tab2 + 1)) << section << "/" << key;
        ++keys;
    }
    // Every key line of the file, and nothing else, was seen by configparser.
    int keyLines = 0;
    std::istringstream text(ours.text());
    while (std::getline(text, line)) {
        if (!line.empty() && line[0] != '[' && line[0] != ';' && line.find('=') != std::string::npos) ++keyLines;
    }
    EXPECT_GT(keys, 600);
    EXPECT_EQ(keys, keyLines);
    EXPECT_EQ(SettingsFile::read(ours), unusualSettings());
}
