// Entry point of the tessaly program: reads the command line and the settings, keeps to a
// single instance, chooses the local address, starts the phone and runs until SIGINT or
// SIGTERM, then stops it and exits 0. Start-up failures exit 1, a refused command line 2.
#include "kel_util/Socket.h"
#include "kel_util/SocketException.h"
#include "phone/CommandLine.h"
#include "phone/InstanceLock.h"
#include "phone/LocalAddress.h"
#include "phone/PhoneProgram.h"
#include "phone/SettingsFile.h"

#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace {

constexpr int kStartFailure = 1;
constexpr int kBadCommandLine = 2;

int fail(const std::string& message) {
    std::fprintf(stderr, "tessaly: %s\n", message.c_str());
    return kStartFailure;
}

// Loads the settings file named on the command line, or config.ini beside the executable when
// none was named. A named file must exist; the default one may be missing (defaults apply).
bool loadSettings(const CommandLineOptions& options, Settings& settings, std::string& error) {
    const bool named = !options.settingsFile.empty();
    const SettingsFile file(named ? options.settingsFile : SettingsFile::defaultName,
                            SettingsFile::executableDirectory());
    struct stat st {};
    if (named && ::stat(file.path().c_str(), &st) != 0) {
        error = "settings file " + file.path() + " not found";
        return false;
    }
    if (!file.load(settings)) {
        error = "settings file " + file.path() + " cannot be read";
        return false;
    }
    return true;
}

bool chooseAddress(const CommandLineOptions& options, LocalAddress& local, std::string& error) {
    std::string hostName;
    try {
        hostName = kel_util::Socket::getLocalHostName();
    } catch (const kel_util::SocketException& e) {
        error = "Failed to getLocalHostName. SocketException, " + e.toString() + ".";
        return false;
    }
    std::string address = options.localAddress;
    if (address.empty()) {
        std::string note;
        if (!LocalAddressChooser::choose(LocalAddressChooser::interfaceAddresses(), address, note)) {
            error = "Failed to getLocalAddresses.";
            return false;
        }
        if (!note.empty()) std::printf("%s\n", note.c_str());
    }
    return LocalAddressChooser::resolve(address, hostName, local, error);
}

// Blocks SIGINT and SIGTERM before any thread starts, so every thread inherits the mask and
// the main thread alone takes them with sigwait.
sigset_t blockStopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    return set;
}

// Waits for SIGINT or SIGTERM.
int waitForStopSignal(const sigset_t& stopSignals) {
    int signal = 0;
    while (sigwait(&stopSignals, &signal) != 0) {
    }
    return signal;
}

}  // namespace

int main(int argc, char** argv) {
    CommandLineOptions options;
    std::string error;
    if (!CommandLine::parse(argc, argv, options, error)) {
        std::fprintf(stderr, "tessaly: %s\n%s\n", error.c_str(), CommandLine::usage());
        return kBadCommandLine;
    }
    const sigset_t stopSignals = blockStopSignals();

    Settings settings;
    if (!loadSettings(options, settings, error)) return fail(error);

    InstanceLock lock;
    if (settings.other.multiExec == 0) {
        const std::string lockPath = InstanceLock::defaultPath();
        switch (lock.acquire(lockPath, error)) {
        case InstanceLock::Result::Acquired:
            break;
        case InstanceLock::Result::HeldElsewhere:
            return fail("another tessaly is running (" + lockPath + "); set MultiExec=1 in section Other to run more");
        case InstanceLock::Result::Failed:
            return fail(error);
        }
    }

    LocalAddress local;
    if (!chooseAddress(options, local, error)) return fail(error);

    PhoneProgram program(local, stdout);
    if (!program.start(settings)) return fail("start-up failed");
    std::printf("%s\n", program.listeningLine().c_str());
    std::fflush(stdout);

    const int signal = waitForStopSignal(stopSignals);
    program.stop();
    std::printf("tessaly stopped (signal %d)\n", signal);
    return 0;
}
