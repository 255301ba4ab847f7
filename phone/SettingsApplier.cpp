#include "phone/SettingsApplier.h"

#include "kel_sip/syntax/SipSwitches.h"
#include "kel_util/Log.h"
#include "kel_util/Logger.h"

#include <sys/stat.h>

using kel_sip::SipSwitch;

namespace {

// Stamped when this file is compiled, as the product's build time.
constexpr const char* buildTime = __DATE__ " " __TIME__;

void setEscapeGroup(const EscapeFlags& flags, SipSwitch requestURI, SipSwitch route, SipSwitch recordRoute,
                    SipSwitch from, SipSwitch to, SipSwitch contact) {
    kel_sip::setSipSwitch(requestURI, flags.requestURI);
    kel_sip::setSipSwitch(route, flags.route);
    kel_sip::setSipSwitch(recordRoute, flags.recordRoute);
    kel_sip::setSipSwitch(from, flags.from);
    kel_sip::setSipSwitch(to, flags.to);
    kel_sip::setSipSwitch(contact, flags.contact);
}

}  // namespace

void SettingsApplier::apply(const Settings& settings, SettingsApplyHost& host) {
    host.resetCallLegs();
    applyLayoutSwitches(settings.sip);
    startLogging(settings.log, host);
    applyStackSettings(settings, host.stack());
    applyCaptor(settings.local.messageCaptor);
    host.startUserAgent(settings);
    host.refreshWindow(settings);
}

bool SettingsApplier::openAndApply(SettingsFile& file, const std::string& name, Settings& settings,
                                   SettingsApplyHost& host) {
    if (!file.open(name, settings)) return false;
    host.cleanUp();
    apply(settings, host);
    return true;
}

void SettingsApplier::applyLayoutSwitches(const SipSettings& sip) {
    kel_sip::setSipSwitch(SipSwitch::Compact, sip.compact);
    kel_sip::setSipSwitch(SipSwitch::SipHeaderOneLine, sip.sipHeaderOneLine);
    kel_sip::setSipSwitch(SipSwitch::ViaSeparateLine, sip.viaSeparateLine);
    kel_sip::setSipSwitch(SipSwitch::RouteSeparateLine, sip.routeSeparateLine);
    kel_sip::setSipSwitch(SipSwitch::RecordRouteSeparateLine, sip.recordRouteSeparateLine);
}

void SettingsApplier::startLogging(const LogSettings& log, SettingsApplyHost& host) {
    // A running logger refuses new settings, and one turned off must stop writing.
    kel_util::closeLogging();
    if (!log.enableLog) {
        kel_util::setLogLevel(-1);
        return;
    }
    kel_util::LogSettings settings;
    settings.level = log.logLevel;
    settings.bufferThreshold = log.logBuffThreshold;
    settings.flushMilliseconds = log.logFlushMSec;
    settings.directory = logDirectory(log.logDir);
    settings.prefix = log.logFilePrefix;
    settings.extension = log.logFileExtension;
    settings.indexMax = log.logIndexMax;
    settings.fileSizeThreshold = log.logFileSizeThreshold;
    try {
        kel_util::initLogging(settings);
    } catch (const kel_util::FileException& e) {
        host.showStatus("Failed to init Logger. FileException, " + e.toString() + ".\n");
    }
    kel_util::logPrint(kel_util::INF, "%s MAKE=%s\n", productName, buildTime);
    if (log.logLevel >= kel_util::DBG) {
        const std::string revision = std::string(productName) + " " + buildTime + "\n";
        kel_util::logDump(kel_util::DBG, revision.data(), static_cast<int>(revision.size()), "Dump revision\n", "  ");
    }
}

void SettingsApplier::applyStackSettings(const Settings& settings, StackSettingsTarget& stack) {
    const SipSettings& sip = settings.sip;
    stack.setTimers(sip.timerT1, sip.timerT2, sip.timerT4, sip.timerTD, sip.timerTCancelTimeout);
    stack.setTCPParams(sip.tcpConnectionTimeoutSec, sip.tcpConnectTOMSec, sip.tcpReceiveTOMSec, sip.tcpSendTOMSec,
                       sip.tcpAcceptTOMSec);
    stack.setTCPMaxConnection(sip.tcpMaxConnection);
    stack.setSessionOptions(settings.option, sip.setAllow);
    stack.setViaFlags(sip.setViaRPort, sip.setViaConnectionSrcPort, sip.setViaAlias);
    if (!stack.setViaParams(sip.viaParams)) {
        kel_util::logPrint(kel_util::MIN, "SettingsApplier::applyStackSettings. Failed setViaParams, ViaParams=[%s].\n",
                           sip.viaParams.c_str());
    }
    stack.setInitialLocalSeqNo(sip.initialLocalSeqNo);
    stack.setMaxForwards(sip.maxForwards);
    stack.setDefaultTransportType(sip.defaultSipTransportType);
    stack.setLocalTag(stackLocalTag(sip.localTag));
    stack.setCallIDHost(sip.callIDHost);
    stack.setUpdateAddresses(sip.updateFromAddress, sip.updateToAddress);
    applyEscapeSwitches(sip);
    stack.setUnregisterByWildCard(settings.extension.unregisterByWildCard);
}

void SettingsApplier::applyEscapeSwitches(const SipSettings& sip) {
    setEscapeGroup(sip.escape, SipSwitch::EscapeRequestURI, SipSwitch::EscapeRoute, SipSwitch::EscapeRecordRoute,
                   SipSwitch::EscapeFrom, SipSwitch::EscapeTo, SipSwitch::EscapeContact);
    setEscapeGroup(sip.unEscape, SipSwitch::UnEscapeRequestURI, SipSwitch::UnEscapeRoute,
                   SipSwitch::UnEscapeRecordRoute, SipSwitch::UnEscapeFrom, SipSwitch::UnEscapeTo,
                   SipSwitch::UnEscapeContact);
}

bool SettingsApplier::applyCaptor(bool on, int port, const std::string& host) {
    if (!on) {
        kel_util::MessageCaptor::cleanCaptor();
        return true;
    }
    if (kel_util::MessageCaptor::startCaptor(port, host)) return true;
    kel_util::logPrint(kel_util::MIN,
                       "SettingsApplier::applyCaptor. Failed to start MessageCaptor, host=[%s], port=%d.\n",
                       host.c_str(), port);
    return false;
}

std::string SettingsApplier::stackLocalTag(const std::string& localTag) {
    return localTag == "null" ? "" : localTag;
}

std::string SettingsApplier::logDirectory(const std::string& logDir) {
    struct stat st {};
    if (logDir.empty() || ::stat(logDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ".";
    return logDir;
}
