#include "phone/PhoneProgram.h"

#include "kel_util/Log.h"

#include <sys/socket.h>

PhoneProgram::PhoneProgram(LocalAddress local, std::FILE* status)
    : local_(std::move(local)), status_(status), upnp_([this](const std::string& text) { showStatus(text); }) {}

PhoneProgram::~PhoneProgram() { stop(); }

bool PhoneProgram::start(const Settings& settings) {
    SettingsApplier::apply(settings, *this);
    return stack_.isRunning();
}

void PhoneProgram::stop() {
    cleanUp();
    SettingsApplier::applyCaptor(false);
    kel_util::closeLogging();
}

void PhoneProgram::cleanUp() {
    upnp_.cleaneUPnP();
    stack_.stop();
}

void PhoneProgram::startUserAgent(const Settings& settings) {
    std::string error;
    if (!stack_.start(settings, local_, error)) {
        showStatus("Failed to init UserAgent.\n");
        showStatus(error + "\n");
        return;
    }
    // Today the phone listens on its SIP UDP port only; that port is what the gateway maps.
    if (settings.natt.natTraversal && settings.natt.useUPnP) {
        upnp_.start(settings.natt, local_.withoutZone, local_.hostName, {{stack_.udpPort(), "UDP"}});
    }
}

void PhoneProgram::showStatus(const std::string& text) {
    // The status line holds at most 256 characters.
    const std::string shown = text.substr(0, 256);
    kel_util::logPrint(kel_util::DEV, "CSipPhoneDlg::SetLastEvent. %s", shown.c_str());
    std::fputs(shown.c_str(), status_);
    if (shown.empty() || shown.back() != '\n') std::fputc('\n', status_);
    std::fflush(status_);
}

std::string PhoneProgram::listeningLine() {
    const std::string host = local_.family == AF_INET6 ? "[" + local_.address + "]" : local_.address;
    std::string line = "tessaly listening on UDP " + host + ":" + std::to_string(stack_.udpPort());
    if (stack_.tcpPort() > 0) line += ", TCP " + host + ":" + std::to_string(stack_.tcpPort());
    line += ", pseudo servers: ";
    const auto names = stack_.pseudoServerNames();
    if (names.empty()) line += "none";
    for (std::size_t i = 0; i < names.size(); ++i) line += (i == 0 ? "" : ", ") + names[i];
    return line;
}
