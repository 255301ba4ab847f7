#include "ProgramSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

extern char** environ;

namespace tessaly_interop {

namespace fs = std::filesystem;

ChildProcess::ChildProcess(const std::vector<std::string>& args, const fs::path& output,
                           const std::vector<std::string>& extraEnv, bool ownGroup)
    : ownGroup_(ownGroup) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
    for (const std::string& e : extraEnv) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (ownGroup) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data()) == 0) pid_ = pid;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (pid_ <= 0) return;
    // The group outlives its leader while a member runs, so this also ends what an exited
    // child left behind.
    if (ownGroup_) ::kill(-pid_, SIGKILL);
    if (reaped_) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

void ChildProcess::signal(int number) const {
    if (pid_ > 0 && !reaped_) ::kill(pid_, number);
}

int ChildProcess::waitExit(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (pid_ > 0 && !reaped_) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            reaped_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // polling a child's exit
    }
    return status_;
}

void ChildProcess::stop(std::chrono::milliseconds limit) {
    signal(SIGTERM);
    waitExit(limit);
    if (ownGroup_ && pid_ > 0) ::kill(-pid_, SIGKILL);
    if (!reaped_) {
        signal(SIGKILL);
        waitExit(std::chrono::seconds(5));
    }
}

int freeUdpPort() { return freePort(SOCK_DGRAM); }

int freeTcpPort() { return freePort(SOCK_STREAM); }

int freePort(int type) {
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool waitForText(const fs::path& file, const std::string& pattern, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (readText(file).find(pattern) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));  // polling a file another process writes
    }
    return true;
}

int countInFiles(const fs::path& directory, const std::string& suffix, const std::string& pattern) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        if (name.size() < suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue;
        }
        const std::string text = readText(entry.path());
        for (std::size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, at + 1)) ++count;
    }
    return count;
}

fs::path freshDirectory(const std::string& name) {
    const fs::path dir = fs::path(::testing::TempDir()) / (name + "-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::vector<std::string> sippArguments(const std::string& sipp, const std::string& scenario, int port,
                                       const std::filesystem::path& directory) {
    return {sipp, "-sf", scenario, "-m", "1", "-i", "127.0.0.1", "-p", std::to_string(port), "-nostdin",
            "-timeout", "20", "-timeout_error", "-trace_msg", "-message_file", (directory / "messages.log").string(),
            "-trace_err", "-error_file", (directory / "errors.log").string()};
}

// The messages in SIPp's message log: each record begins with a line of dashes, a date and a
// time of day, then "UDP message received" or "UDP message sent", then the message.
std::vector<Logged> loggedMessages(const fs::path& file) {
    std::ifstream in(file);
    std::vector<Logged> found;
    std::string line;
    double at = 0;
    bool receiving = false;
    bool wantStartLine = false;
    bool inMessage = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("----", 0) == 0) {
            inMessage = false;
            int hours = 0, minutes = 0;
            double seconds = 0;
            const auto space = line.rfind(' ');
            if (std::sscanf(line.c_str() + space + 1, "%d:%d:%lf", &hours, &minutes, &seconds) == 3) {
                at = ((hours * 60.0 + minutes) * 60.0 + seconds) * 1000.0;
            }
            wantStartLine = false;
        } else if (line.find("message received") != std::string::npos || line.find("message sent") != std::string::npos) {
            receiving = line.find("received") != std::string::npos;
            wantStartLine = true;
        } else if (wantStartLine && !line.empty()) {
            found.push_back({receiving, line, at, {}});
            wantStartLine = false;
            inMessage = true;
        } else if (inMessage && line.rfind("CSeq:", 0) == 0) {
            const auto value = line.find_first_not_of(' ', 5);
            if (value != std::string::npos) found.back().cseq = line.substr(value);
        }
    }
    return found;
}

}  // namespace tessaly_interop
