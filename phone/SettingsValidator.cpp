#include "phone/SettingsValidator.h"

#include "kel_sip/syntax/HeaderList.h"
#include "kel_sip/syntax/SDPRTPMap.h"
#include "kel_sip/syntax/SipAddress.h"
#include "kel_sip/syntax/SipHostPort.h"
#include "kel_sip/syntax/SipURI.h"
#include "kel_util/Decimal.h"
#include "kel_util/TextUtil.h"
#include "media/AudioDeviceFactory.h"
#include "phone/FilterList.h"
#include "phone/SettingsApplier.h"

#include <cctype>
#include <climits>
#include <cstring>

namespace {

// Records the first rule of a page that does not hold.
class PageCheck {
public:
    explicit PageCheck(SettingsPage page) : page_(page) {}

    PageCheck& require(bool holds, const std::string& setting, const char* message = "") {
        if (!holds && !fault_) fault_ = SettingsFault{page_, setting, message};
        return *this;
    }
    std::optional<SettingsFault> result() const { return fault_; }

private:
    SettingsPage page_;
    std::optional<SettingsFault> fault_;
};

bool inRange(long value, long min, long max) {
    return value >= min && value <= max;
}

// An empty text is allowed: it means the setting is not used.
template <class T>
bool emptyOrParses(const std::string& text) {
    if (text.empty()) return true;
    try {
        T value;
        value.parse(text.data(), static_cast<int>(text.size()), true);
        return true;
    } catch (const kel_sip::SipParseException&) {
        return false;
    }
}

bool isHeaderLines(const std::string& text) {
    kel_sip::HeaderList headers;
    return headers.parse(text.data(), static_cast<int>(text.size()), true);
}

// Checks every non-empty line of text; lines end with LF or CR LF.
template <class Check>
bool everyLine(std::string_view text, Check check) {
    for (std::string_view line : kel_util::split(text, '\n', "\r", true)) {
        if (!check(line)) return false;
    }
    return true;
}

bool isPayloadType(std::string_view text) {
    return kel_util::parseDecimal(text, 0, 127).has_value();
}

// Payload type numbers separated by blanks.
bool isMediaFormatList(std::string_view text) {
    for (const std::string& format : kel_util::split(text, ' ', nullptr, true)) {
        if (!isPayloadType(format)) return false;
    }
    return true;
}

// RFC 4566 section 9: att-field is a token, att-value any bytes but NUL, CR and LF.
bool isAttribute(std::string_view line) {
    static constexpr const char* tokenMarks = "!#$%&'*+-.^_`{|}~";
    const std::string_view name = line.substr(0, line.find(':'));
    if (name.empty()) return false;
    for (unsigned char c : name) {
        if (!std::isalnum(c) && std::strchr(tokenMarks, c) == nullptr) return false;
    }
    return line.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

bool isRtpMap(std::string_view line) {
    return kel_sip::SDPRTPMap().parse(line);
}

// A session-timer number as stored: -1 for an empty field, else 0 or more.
bool isSessionTimerValue(int value) {
    return value >= -1;
}

std::optional<SettingsFault> checkBasic(const Settings& s) {
    return PageCheck(SettingsPage::Basic)
        .require(inRange(s.basic.serverPort, 0, 65535), "ServerPort", "Invalid server port!")
        .result();
}

std::optional<SettingsFault> checkExtension(const Settings& s) {
    const ExtensionSettings& e = s.extension;
    const double q = e.registerQValue;
    return PageCheck(SettingsPage::Extension)
        .require(emptyOrParses<kel_sip::SipAddress>(e.localAddress), "LocalAddress", "Invalid local address!")
        .require(emptyOrParses<kel_sip::SipAddress>(e.contactAddress), "ContactAddress", "Invalid contact address!")
        .require(emptyOrParses<kel_sip::SipURI>(e.registerURI), "RegisterURI", "Invalid register URI!")
        .require(e.registerExpires >= -1, "RegisterExpires", "Invalid register expires!")
        .require(q == 0.0 || (q > 0.0 && q <= 1.0), "RegisterQValue", "Invalid register Q value!")
        .require(emptyOrParses<kel_sip::SipHostPort>(e.outBoundProxy), "OutBoundProxy", "Invalid outband proxy!")
        .result();
}

std::optional<SettingsFault> checkOption(const Settings& s) {
    static constexpr const char* orig = "Please input the value from 0 to 2147483647 to SessionExpires in Orig.";
    static constexpr const char* term = "Please input the value from 0 to 2147483647 to SessionExpires in Term.";
    return PageCheck(SettingsPage::Option)
        .require(isSessionTimerValue(s.option.minSE), "MinSE", orig)
        .require(isSessionTimerValue(s.option.origSessionExpires), "OrigSessionExpires", orig)
        .require(isSessionTimerValue(s.option.termSessionExpires), "TermSessionExpires", term)
        .result();
}

std::optional<SettingsFault> checkSip(const Settings& s) {
    const SipSettings& p = s.sip;
    return PageCheck(SettingsPage::Sip)
        .require(inRange(p.sipUDPPort, 1, 65535), "SipUDPPort")
        .require(inRange(p.sipTCPPort, 1, 65535), "SipTCPPort")
        .require(inRange(p.defaultSipTransportType, 0, 2), "DefaultSipTransportType")
        .require(p.timerT1 > 0, "TimerT1")
        .require(p.timerT2 > 0, "TimetT2")
        .require(p.timerT4 > 0, "TimerT4")
        .require(p.timerTD > 0, "TimerTD")
        .require(p.timerTCancelTimeout > 0, "TimerTCancelTimeout")
        .require(p.tcpMaxConnection >= 0, "TCPMaxConnection")
        .require(p.tcpConnectionTimeoutSec >= 0, "TCPConnectionTimeoutSec")
        .require(p.tcpConnectTOMSec > 0, "TCPConnectTOMSec")
        .require(p.tcpReceiveTOMSec > 0, "TCPReceiveTOMSec")
        .require(p.tcpSendTOMSec > 0, "TCPSendTOMSec")
        .require(p.tcpAcceptTOMSec > 0, "TCPAcceptTOMSec")
        .require(p.initialLocalSeqNo >= -1, "InitialLocalSeqNo", "Please set -1 to 'Initial Local Seq No' for random")
        .result();
}

std::optional<SettingsFault> checkLog(const Settings& s) {
    return PageCheck(SettingsPage::Log)
        .require(inRange(s.log.logLevel, 0, 7), "LogLevel")
        .require(s.log.logDir.empty() || SettingsApplier::logDirectory(s.log.logDir) == s.log.logDir, "LogDir")
        .require(inRange(s.log.logIndexMax, 0, 100), "LogIndexMax", "Please set from 0 to 100 to 'Max Index'")
        .require(s.log.logFileSizeThreshold >= 1000, "LogFileSizeThreshold")
        .result();
}

std::optional<SettingsFault> checkSound(const Settings& s) {
    return PageCheck(SettingsPage::Sound)
        .require(AudioDeviceChoice::parse(s.sound.audioDevice).has_value(), "AudioDevice", "Invalid audio device!")
        .result();
}

std::optional<SettingsFault> checkCallPark(const Settings& s) {
    const CallParkSettings& c = s.callPark;
    return PageCheck(SettingsPage::CallPark)
        .require(emptyOrParses<kel_sip::SipURI>(c.subscribeURI), "SubscribeURI", "Invalid subscribe URI!")
        .require(c.subscribeExpires >= 0, "SubscribeExpires", "Invalid subscribe expires!")
        .require(emptyOrParses<kel_sip::SipHostPort>(c.parkServer), "ParkServer", "Invalid park server!")
        .result();
}

std::optional<SettingsFault> checkPresence(const Settings& s) {
    const PresenceSettings& p = s.presence;
    return PageCheck(SettingsPage::Presence)
        .require(p.subscribeExpires >= 0, "SubscribeExpires", "Invalid subscribe expires!")
        .require(emptyOrParses<kel_sip::SipHostPort>(p.subscribeServer), "SubscribeServer", "Invalid subscribe server!")
        .require(p.publishExpires >= 0, "PublishExpires", "Invalid publish expires!")
        .require(emptyOrParses<kel_sip::SipHostPort>(p.publishServer), "PublishServer", "Invalid publish server!")
        .result();
}

std::optional<SettingsFault> checkNatt(const Settings& s) {
    const NattSettings& n = s.natt;
    return PageCheck(SettingsPage::Natt)
        .require(!(n.useUPnP && n.upnpUniCast) || !n.upnpIGDAddress.empty(), "UPnPIGDAddress", "Invalid IGD!")
        .require(inRange(n.externalSIPUDPPort, 0, 65535), "ExternalSIPUDPPort", "Invalid UDP port!")
        .require(inRange(n.externalSIPTCPPort, 0, 65535), "ExternalSIPTCPPort", "Invalid TCP port!")
        .require(inRange(n.externalRTPPort1, 0, 65535), "ExternalRTPPort1", "Invalid RTP port 1!")
        .require(inRange(n.externalRTPPort2, 0, 65535), "ExternalRTPPort2", "Invalid RTP port 2!")
        .result();
}

std::optional<SettingsFault> checkHeader(const Settings& s) {
    PageCheck check(SettingsPage::Header);
    for (std::size_t i = 0; i < HeaderSettings::kindCount; ++i) {
        check.require(isHeaderLines(s.header.additionalHeaders[i]),
                      std::string(HeaderSettings::kinds()[i]) + "AdditionalHeaders", "Invalid headers.");
    }
    return check.result();
}

std::optional<SettingsFault> checkSdp(const Settings& s) {
    PageCheck check(SettingsPage::Sdp);
    for (std::size_t i = 0; i < SdpSettings::profileCount; ++i) {
        const SdpProfile& p = s.sdp.profiles[i];
        const std::string name = SdpSettings::profileNames()[i];
        check
            .require(p.connectionPort == -1 || inRange(p.connectionPort, 0, 65535), name + "ConnectionPort",
                     "Invalid port.")
            .require(inRange(p.connectionMode, 0, 4), name + "ConnectionMode", "Invalid connection mode.")
            .require(p.connectionPTime == 0 || inRange(p.connectionPTime, 1, 100), name + "ConnectionPTime",
                     "Invalid ptime.")
            .require(isMediaFormatList(p.mediaFormat), name + "MediaFormat", "Invalid media format.")
            .require(everyLine(p.additionalAttributes, isAttribute), name + "AdditionalAttributes",
                     "Invalid attribute.")
            .require(inRange(p.connectionCODEC, 0, 127), name + "ConnectionCODEC", "Invalid CODEC.")
            .require(everyLine(p.rtpMap, isRtpMap), name + "RTPMap", "Invalid payload type-CODEC.");
    }
    return check.result();
}

std::optional<SettingsFault> checkFilter(const Settings& s) {
    const FilterSettings& f = s.filter;
    return PageCheck(SettingsPage::Filter)
        .require(parseFilterList(f.sendingRequestFilter).has_value(), "SendingRequestFilter", "Invalid data.")
        .require(parseFilterList(f.receivingRequestFilter).has_value(), "ReceivingRequestFilter", "Invalid data.")
        .require(parseFilterList(f.sendingResponseFilter).has_value(), "SendingResponseFilter", "Invalid data.")
        .require(parseFilterList(f.receivingResponseFilter).has_value(), "ReceivingResponseFilter", "Invalid data.")
        .result();
}

}  // namespace

std::optional<SettingsFault> SettingsValidator::checkPage(SettingsPage page, const Settings& settings) {
    switch (page) {
        case SettingsPage::Basic:
            return checkBasic(settings);
        case SettingsPage::Extension:
            return checkExtension(settings);
        case SettingsPage::Option:
            return checkOption(settings);
        case SettingsPage::Sip:
            return checkSip(settings);
        case SettingsPage::Log:
            return checkLog(settings);
        case SettingsPage::Sound:
            return checkSound(settings);
        case SettingsPage::CallPark:
            return checkCallPark(settings);
        case SettingsPage::Presence:
            return checkPresence(settings);
        case SettingsPage::Natt:
            return checkNatt(settings);
        case SettingsPage::Header:
            return checkHeader(settings);
        case SettingsPage::Sdp:
            return checkSdp(settings);
        case SettingsPage::Filter:
            return checkFilter(settings);
    }
    return std::nullopt;
}

std::vector<SettingsFault> SettingsValidator::check(const Settings& settings) {
    std::vector<SettingsFault> faults;
    for (SettingsPage page : pages) {
        if (auto fault = checkPage(page, settings)) faults.push_back(std::move(*fault));
    }
    return faults;
}

std::optional<int> SettingsValidator::parseSessionTimerField(std::string_view text) {
    if (text.empty()) return -1;
    const auto value = kel_util::parseDecimal(text, 0, INT_MAX);
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}
