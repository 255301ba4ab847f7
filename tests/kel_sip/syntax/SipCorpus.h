// The corpus of realistic messages in data/corpus, read once per test.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "kel_sip/syntax/SipSwitches.h"

namespace kel_sip::test {

inline std::vector<std::pair<std::string, std::string>> loadCorpus() {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : std::filesystem::directory_iterator(TESSALY_TEST_DATA_DIR "/corpus")) {
        if (entry.path().extension() != ".sip") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files.emplace_back(entry.path().filename().string(),
                           std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Sets the switches for the life of a test and turns them all off again after it.
class SwitchScope {
public:
    SwitchScope() { resetSipSwitches(); }
    ~SwitchScope() { resetSipSwitches(); }
    SwitchScope(const SwitchScope&) = delete;
    SwitchScope& operator=(const SwitchScope&) = delete;
    void set(SipSwitch which, bool on = true) { setSipSwitch(which, on); }
};

}  // namespace kel_sip::test
