// linphonec (the Debian package linphone-cli) as the peer of interop tests: it listens on
// 127.0.0.1:port (UDP only) with a configuration in a fresh directory, which is also its HOME,
// so that nothing of the user's own configuration or data is read or written. It runs in a
// process group of its own, takes its commands ("answer", "call ...") on a pipe, and is killed
// with its group when it goes.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace kel_sip::test {

class Linphone {
public:
    // sipSettings: further lines of its [sip] section ("100rel_support_level=2\n").
    Linphone(const std::filesystem::path& directory, int port, const std::string& sipSettings);
    ~Linphone();
    Linphone(const Linphone&) = delete;
    Linphone& operator=(const Linphone&) = delete;

    bool started() const { return pid_ > 0 && commands_ >= 0; }
    // One command line of linphonec's.
    bool send(const std::string& command);
    // What it printed and logged.
    const std::filesystem::path& log() const { return log_; }

private:
    std::filesystem::path log_;
    pid_t pid_ = -1;
    int commands_ = -1;
};

}  // namespace kel_sip::test
