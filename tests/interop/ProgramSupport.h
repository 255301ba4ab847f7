// Helpers for interop tests that run the tessaly program and SIPp as child processes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace tessaly_interop {

// A child process whose standard output and error go to a file.
class ChildProcess {
public:
    // Starts args[0] with args; extraEnv ("NAME=value") is added to the environment. With
    // ownGroup the child leads a process group of its own, so that what it forks is killed with it
    // (a peer whose workers outlive their main process would otherwise keep its ports).
    ChildProcess(const std::vector<std::string>& args, const std::filesystem::path& output,
                 const std::vector<std::string>& extraEnv = {}, bool ownGroup = false);
    // Kills a child still running (with its group, when it has one) and reaps it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    void signal(int number) const;
    // The exit status once the child has exited within limit; -1 when it has not (or died
    // by a signal).
    int waitExit(std::chrono::milliseconds limit);
    // Asks the child to end (SIGTERM) and waits up to limit; then kills what is left of it.
    void stop(std::chrono::milliseconds limit);

private:
    pid_t pid_ = -1;
    bool ownGroup_ = false;
    bool reaped_ = false;
    int status_ = -1;
};

// A UDP port on 127.0.0.1 that was free a moment ago.
int freeUdpPort();
int freeTcpPort();
// A port of 127.0.0.1 free for sockets of type (SOCK_DGRAM, SOCK_STREAM) when asked.
int freePort(int type);
// The whole file; empty when it cannot be read.
std::string readText(const std::filesystem::path& file);
// Waits until pattern occurs in file; false after limit.
bool waitForText(const std::filesystem::path& file, const std::string& pattern, std::chrono::milliseconds limit);
// How often pattern occurs in the files of directory whose names end in suffix.
int countInFiles(const std::filesystem::path& directory, const std::string& suffix, const std::string& pattern);
// The arguments that run SIPp (the program sipp) once through the scenario file on
// 127.0.0.1:port, ending in error after 20 s, with its message and error traces in directory.
std::vector<std::string> sippArguments(const std::string& sipp, const std::string& scenario, int port,
                                       const std::filesystem::path& directory);
// A message SIPp sent or received: its start line, the time of day (ms) it was logged and its
// CSeq value.
struct Logged {
    bool received;
    std::string startLine;
    double at;
    std::string cseq;
};
// The messages in SIPp's message log (-trace_msg), in order.
std::vector<Logged> loggedMessages(const std::filesystem::path& file);
// A fresh directory for one test's files.
std::filesystem::path freshDirectory(const std::string& name);

}  // namespace tessaly_interop
