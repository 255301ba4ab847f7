// The program's command line: -a local address, -c compact window, -f settings file,
// -g window position "+left+top". Each option may come once.
#pragma once

#include <string>

struct CommandLineOptions {
    std::string localAddress;  // empty = choose among the local addresses
    bool compactWindow = false;
    std::string settingsFile;  // empty = the default name beside the executable
    bool hasWindowPosition = false;
    int windowLeft = 0;
    int windowTop = 0;
};

class CommandLine {
public:
    // The usage line printed when the command line is refused.
    static const char* usage();
    // Reads argv[1..argc-1] into options; false with error saying what is wrong for an unknown
    // option, a missing or empty value, a value given twice or a position not of the form
    // "+left+top".
    static bool parse(int argc, const char* const* argv, CommandLineOptions& options, std::string& error);
};
