// tessaly-ua: a scripted user agent for tests and load. It reads one command a line from
// standard input (the commands of phone/UaCommand.h), runs it and writes one result line per
// command ("ok invite 1", "error bye refused") and one line per stack event
// ("event session id=1 type=21 "Invited" state="Invited""), so that a script can wait for
// what it expects.
//
//   tessaly-ua [-a ADDRESS] [-f SETTINGS] [--answer CODE] [--port P] [--wait-seconds N]
//
// ADDRESS = 127.0.0.1; the settings file gives the SIP ports, UseTCP, 100rel, the outbound
// proxy (UseOutBoundProxy, OutBoundProxy) and the credentials; --port overrides its UDP port (0: any free port); N = 10 (the default of wait).
// The first line written is "tessaly-ua listening on UDP A:PORT". A command that fails or
// cannot be read gives an error line and the script goes on. Exit status 0 after quit or the
// end of input, 2 on usage errors or when the stack does not start.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "phone/Settings.h"
#include "phone/SettingsFile.h"
#include "phone/UserAgentSettings.h"
#include "phone/UaDriver.h"

namespace {

struct Options {
    UaDriverOptions driver;
    std::string settingsFile;
    std::optional<int> port;
    int waitSeconds = 10;
};

bool readNumber(const char* text, int low, int high, int& value) {
    char* end = nullptr;
    const long number = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || number < low || number > high) return false;
    value = static_cast<int>(number);
    return true;
}

bool readOption(const std::string& name, const char* value, Options& options) {
    int number = 0;
    if (name == "-a") {
        options.driver.address = value;
    } else if (name == "-f") {
        options.settingsFile = value;
    } else if (name == "--answer") {
        if (!readNumber(value, 200, 699, options.driver.answerCode)) return false;
    } else if (name == "--port") {
        if (!readNumber(value, 0, 65535, number)) return false;
        options.port = number;
    } else if (name == "--wait-seconds") {
        return readNumber(value, 1, 3600, options.waitSeconds);
    } else {
        return false;
    }
    return true;
}

bool readOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc || !readOption(argv[i], argv[i + 1], options)) return false;
    }
    return true;
}

// The settings the driver takes from the file: ports, TCP, 100rel, the outbound proxy and the
// credentials.
bool applySettingsFile(Options& options) {
    Settings settings;
    if (!options.settingsFile.empty()) {
        const SettingsFile file(options.settingsFile, std::filesystem::current_path().string());
        if (!std::filesystem::exists(file.path()) || !file.load(settings)) return false;
        options.driver.user = settings.basic.user;
        options.driver.password = settings.basic.password;
    }
    options.driver.udpPort = options.port.value_or(settings.sip.sipUDPPort);
    options.driver.tcpPort = settings.sip.sipTCPPort;
    options.driver.useTCP = settings.sip.useTCP;
    options.driver.outboundProxy = UserAgentSettings::outboundProxyOf(settings.extension);
    options.driver.prack = settings.option.process100rel;
    options.driver.offer100rel = settings.option.process100rel ? settings.option.orig100relProcessType : 0;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!readOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: tessaly-ua [-a ADDRESS] [-f SETTINGS] [--answer CODE] [--port P] "
                     "[--wait-seconds N]\n");
        return 2;
    }
    if (!applySettingsFile(options)) {
        std::fprintf(stderr, "tessaly-ua: cannot read %s\n", options.settingsFile.c_str());
        return 2;
    }
    UaDriver driver(stdout, options.waitSeconds);
    std::string error;
    if (!driver.start(options.driver, error)) {
        std::fprintf(stderr, "tessaly-ua: %s\n", error.c_str());
        return 2;
    }
    std::printf("tessaly-ua listening on UDP %s:%d\n", options.driver.address.c_str(), driver.port());
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        UaCommand command;
        if (!UaCommandReader::read(line, command, error)) {
            driver.refuse(error);
            continue;
        }
        bool quit = false;
        driver.run(command, quit);
        if (quit) break;
    }
    return 0;
}
