#include "Linphone.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string_view>
#include <vector>

#include "ProgramSupport.h"

extern char** environ;

namespace kel_sip::test {

namespace fs = std::filesystem;

Linphone::Linphone(const fs::path& directory, int port, const std::string& sipSettings)
    : log_(directory / "linphonec.out") {
    // Without its database directory the phone never opens its SIP port.
    fs::create_directories(directory / ".local/share/linphone");
    const fs::path config = directory / "linphonerc";
    std::ofstream(config) << "[sip]\nsip_port=" << port << "\nsip_tcp_port=0\nsip_tls_port=0\n"
                          << "auto_send_ringing=1\nguess_hostname=0\n"
                          << "contact=sip:linphone@127.0.0.1:" << port << "\n"
                          << sipSettings << "[rtp]\naudio_rtp_port=" << tessaly_interop::freeUdpPort() << "\n";
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    commands_ = fds[1];
    const std::string home = "HOME=" + directory.string();
    std::vector<std::string> args{TESSALY_LINPHONEC, "-c", config.string(), "-d", "5"};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<char*> envp{const_cast<char*>(home.c_str())};
    for (char** e = environ; *e != nullptr; ++e)
        if (std::string_view(*e).rfind("HOME=", 0) != 0) envp.push_back(*e);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data()) == 0) pid_ = pid;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
}

Linphone::~Linphone() {
    if (commands_ >= 0) ::close(commands_);
    if (pid_ <= 0) return;
    // The phone and whatever it started go together.
    ::kill(-pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

bool Linphone::send(const std::string& command) {
    const std::string line = command + "\n";
    return ::write(commands_, line.data(), line.size()) == static_cast<ssize_t>(line.size());
}

}  // namespace kel_sip::test
