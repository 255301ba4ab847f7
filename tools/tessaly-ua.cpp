// tessaly-ua: a scripted user agent for tests and load. It reads one command a line from
// standard input (the commands of phone/UaCommand.h), runs it, and writes every stack event
// as a line to standard output ("event session 21 Invited dialog=1"), so that a script can
// wait for what it expects.
//
//   tessaly-ua [--address A] [--port P] [--wait-seconds N]
//
// A = 127.0.0.1, P = 5060 (0: any free port), N = 10 (the default of wait) when not given.
// The first line written is "tessaly-ua listening on UDP A:PORT". Exit status 0 after quit or
// the end of input, 1 at the first command that fails (its reason on standard output), 2 on
// usage errors or when the stack does not start.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "phone/UaDriver.h"

namespace {

struct Options {
    std::string address = "127.0.0.1";
    int port = 5060;
    int waitSeconds = 10;
};

bool readNumber(const char* text, int low, int high, int& value) {
    char* end = nullptr;
    const long number = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || number < low || number > high) return false;
    value = static_cast<int>(number);
    return true;
}

bool readOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) return false;
        const char* value = argv[++i];
        if (name == "--address") {
            options.address = value;
        } else if (name == "--port") {
            if (!readNumber(value, 0, 65535, options.port)) return false;
        } else if (name == "--wait-seconds") {
            if (!readNumber(value, 1, 3600, options.waitSeconds)) return false;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!readOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: tessaly-ua [--address A] [--port P] [--wait-seconds N]\n");
        return 2;
    }
    UaDriver driver(stdout, options.waitSeconds);
    std::string error;
    if (!driver.start(options.address, options.port, error)) {
        std::fprintf(stderr, "tessaly-ua: %s\n", error.c_str());
        return 2;
    }
    std::printf("tessaly-ua listening on UDP %s:%d\n", options.address.c_str(), driver.port());
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        UaCommand command;
        if (!UaCommandReader::read(line, command, error)) {
            std::printf("error: %s\n", error.c_str());
            return 1;
        }
        bool quit = false;
        if (!driver.run(command, quit)) return 1;
        if (quit) break;
    }
    return 0;
}
