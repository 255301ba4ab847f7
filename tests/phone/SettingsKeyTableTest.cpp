// Every section, key, type and default of the settings file, written out by hand, checked
// against what SettingsFile writes and reads. Reading and writing share one field table, so a
// key misspelt there survives every round trip; only a table kept apart from it finds one.
#include "phone/SettingsFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "kel_util/IniFile.h"

namespace {

// B 0/1, I decimal, S text, F real ("%f"), E text with its line breaks escaped, X hexadecimal
// colour.
enum class Type { B, I, S, F, E, X };

using FieldText = std::function<std::string(const Settings&)>;

std::string fieldText(bool value) { return value ? "1" : "0"; }
std::string fieldText(int value) { return std::to_string(value); }
std::string fieldText(const std::string& value) { return value; }
std::string fieldText(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%f", value);
    return buffer;
}
std::string fieldText(long colour) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%lx", static_cast<unsigned long>(colour) & 0xffffffffUL);
    return colour == -1 ? "-1" : buffer;
}

#define FIELD(member) [](const Settings& s) { return fieldText(s.member); }

struct KeyRow {
    std::string section;
    std::string key;
    Type type;
    std::string byDefault;  // as written for a default record
    FieldText field;        // the record's field, in its file form (E and X: as held)
    bool sparse = false;    // written only while it differs from its default
};

using Rows = std::vector<KeyRow>;

void addSdpProfiles(Rows& rows) {
    const char* const profiles[] = {"1st",   "2nd",          "hold",       "Invite",
                                    "180",   "183",          "200",        "Ack",
                                    "PrAck", "PrAckResponse", "EarlyUpdate", "EarlyUpdateResponse",
                                    "ReInviteResponse", "18xProgram1", "18xProgram2", "18xProgram3",
                                    "18xProgram4", "18xProgram5", "18xProgram6"};
    for (std::size_t i = 0; i < std::size(profiles); ++i) {
        const std::string p = profiles[i];
        const bool setSdp = p == "1st" || p == "2nd" || p == "hold" || p == "Invite" || p == "200" ||
                            p == "EarlyUpdate" || p == "EarlyUpdateResponse";
        const bool increments = p == "1st" || p == "2nd" || p == "hold";
        const char* port = p == "1st" ? "8000" : p == "2nd" ? "8002" : "-1";
        const auto f = [i](auto member) {
            return [i, member](const Settings& s) { return fieldText(s.sdp.profiles[i].*member); };
        };
        const Rows profileRows = {
            {"SDP", p + "SetSDP", Type::B, setSdp ? "1" : "0", f(&SdpProfile::setSDP)},
            {"SDP", p + "IsFreeFormat", Type::B, "0", f(&SdpProfile::isFreeFormat)},
            {"SDP", p + "FreeFormatSDP", Type::E, "", f(&SdpProfile::freeFormatSDP)},
            {"SDP", p + "ContentType", Type::S, "", f(&SdpProfile::contentType)},
            {"SDP", p + "OriginUser", Type::S, "", f(&SdpProfile::originUser)},
            {"SDP", p + "OriginSessionID", Type::I, "0", f(&SdpProfile::originSessionID)},
            {"SDP", p + "OriginVersion", Type::I, "0", f(&SdpProfile::originVersion)},
            {"SDP", p + "SetOriginSessionID", Type::B, "0", f(&SdpProfile::setOriginSessionID)},
            {"SDP", p + "SetOriginVersion", Type::B, "0", f(&SdpProfile::setOriginVersion)},
            {"SDP", p + "IncrementSDPOriginVersion", Type::B, increments ? "1" : "0",
             f(&SdpProfile::incrementSDPOriginVersion)},
            {"SDP", p + "OriginAddress", Type::S, "", f(&SdpProfile::originAddress)},
            {"SDP", p + "ConnectionAddress", Type::S, "", f(&SdpProfile::connectionAddress)},
            {"SDP", p + "ConnectionPort", Type::I, port, f(&SdpProfile::connectionPort)},
            {"SDP", p + "ConnectionMode", Type::I, p == "hold" ? "4" : "0", f(&SdpProfile::connectionMode)},
            {"SDP", p + "ConnectionPTime", Type::I, "0", f(&SdpProfile::connectionPTime)},
            {"SDP", p + "ConnectionCODEC", Type::I, "0", f(&SdpProfile::connectionCODEC)},
            // Attributes and the RTP map hold one entry per line.
            {"SDP", p + "AdditionalAttributes", Type::E, "", f(&SdpProfile::additionalAttributes)},
            {"SDP", p + "AdditionalMediaFormats", Type::S, "", f(&SdpProfile::additionalMediaFormats)},
            {"SDP", p + "UseRTPMap", Type::B, "0", f(&SdpProfile::useRTPMap)},
            {"SDP", p + "NegotiateRTPMap", Type::B, "0", f(&SdpProfile::negotiateRTPMap)},
            {"SDP", p + "RTPMap", Type::E, "", f(&SdpProfile::rtpMap)},
            {"SDP", p + "MediaFormat", Type::S, "", f(&SdpProfile::mediaFormat)},
        };
        rows.insert(rows.end(), profileRows.begin(), profileRows.end());
    }
}

void addHeaders(Rows& rows) {
    const char* const kinds[] = {"Invite", "InviteResponse", "Ack",   "ReInvite",      "Register",
                                 "Subscribe", "Transfer",     "Park",  "Publish",       "PrAck",
                                 "PrAckResponse", "Update",   "UpdateRespons"};
    for (std::size_t i = 0; i < std::size(kinds); ++i) {
        rows.push_back({"Header", std::string(kinds[i]) + "AdditionalHeaders", Type::E, "",
                        [i](const Settings& s) { return s.header.additionalHeaders[i]; }});
    }
}

void addProgrammable18x(Rows& rows) {
    for (std::size_t i = 0; i < 6; ++i) {
        const std::string n = std::to_string(i + 1);
        const auto f = [i](auto member) {
            return [i, member](const Settings& s) { return fieldText(s.response.programmable[i].*member); };
        };
        rows.push_back({"Response", "Send18xProgrammable" + n, Type::B, "0", f(&Programmable18x::send)});
        rows.push_back({"Response", "Send18xStatusCodeProgrammable" + n, Type::I, "180", f(&Programmable18x::statusCode)});
        rows.push_back({"Response", "Send18xReasonPhraseProgrammable" + n, Type::S, "", f(&Programmable18x::reasonPhrase)});
        rows.push_back({"Response", "Send18xDelayProgrammable" + n, Type::I, "500", f(&Programmable18x::delayMSec)});
    }
}

void addEscapeFlags(Rows& rows) {
    const char* const fields[] = {"RequestURI", "Route", "RecordRoute", "From", "To", "Contact"};
    const bool EscapeFlags::*const members[] = {&EscapeFlags::requestURI, &EscapeFlags::route, &EscapeFlags::recordRoute,
                                                &EscapeFlags::from, &EscapeFlags::to, &EscapeFlags::contact};
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        const auto member = members[i];
        rows.push_back({"Sip", std::string("Escape") + fields[i], Type::B, "0",
                        [member](const Settings& s) { return fieldText(s.sip.escape.*member); }});
        rows.push_back({"Sip", std::string("UnEscape") + fields[i], Type::B, "0",
                        [member](const Settings& s) { return fieldText(s.sip.unEscape.*member); }});
    }
}

// History lists: historyCount slots each, keys "<list><index>".
void addHistories(Rows& rows, int historyCount) {
    using List = std::vector<std::string> LocalSettings::*;
    const std::pair<const char*, List> lists[] = {
        {"InviteURIUserInfo", &LocalSettings::inviteURIUserInfoHistory},
        {"InviteURIDomain", &LocalSettings::inviteURIDomainHistory},
        {"InviteHostPort", &LocalSettings::inviteHostPortHistory},
        {"InviteTo", &LocalSettings::inviteToHistory},
        {"InviteFrom", &LocalSettings::inviteFromHistory},
    };
    for (const auto& [name, member] : lists) {
        const List list = member;  // a copy the lambdas can capture
        for (int i = 0; i < historyCount; ++i) {
            const auto index = static_cast<std::size_t>(i);
            rows.push_back({"Local", name + std::to_string(i), Type::S, "", [list, index](const Settings& s) {
                                const auto& entries = s.local.*list;
                                return index < entries.size() ? entries[index] : std::string();
                            }});
        }
    }
}

void addBuddies(Rows& rows, int buddyCount) {
    rows.push_back({"Presence", "BuddyListSize", Type::I, "0",
                    [](const Settings& s) { return std::to_string(s.presence.buddies.size()); }});
    for (int i = 0; i < buddyCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        const auto buddy = [index](const Settings& s) { return s.presence.buddies.at(index); };
        rows.push_back({"Presence", "BuddyUserID" + std::to_string(i), Type::S, "",
                        [buddy](const Settings& s) { return buddy(s).userID; }});
        rows.push_back({"Presence", "BuddyDisplay" + std::to_string(i), Type::S, "",
                        [buddy](const Settings& s) { return buddy(s).display; }});
    }
}

Rows keyTable(int historyCount, int buddyCount) {
    Rows rows = {
        {"Basic", "User", Type::S, "user", FIELD(basic.user)},
        {"Basic", "Password", Type::S, "", FIELD(basic.password)},
        {"Basic", "ServerHost", Type::S, "example.com", FIELD(basic.serverHost)},
        {"Basic", "ServerPort", Type::I, "0", FIELD(basic.serverPort)},

        {"Extension", "LocalAddress", Type::S, "", FIELD(extension.localAddress)},
        {"Extension", "ContactAddress", Type::S, "", FIELD(extension.contactAddress)},
        {"Extension", "RegisterOnStartUp", Type::B, "0", FIELD(extension.registerOnStartUp)},
        {"Extension", "UnregisterByWildCard", Type::B, "0", FIELD(extension.unregisterByWildCard)},
        {"Extension", "RegisterURI", Type::S, "", FIELD(extension.registerURI)},
        {"Extension", "RegisterExpires", Type::I, "3600", FIELD(extension.registerExpires)},
        {"Extension", "RegisterQValue", Type::F, "0.000000", FIELD(extension.registerQValue)},
        {"Extension", "AuthDigest", Type::B, "1", FIELD(extension.authDigest)},
        {"Extension", "AuthDigestAutomatically", Type::B, "0", FIELD(extension.authDigestAutomatically)},
        {"Extension", "AuthDigestCountMax", Type::I, "1", FIELD(extension.authDigestCountMax)},
        {"Extension", "AuthDigestUseAuthInt", Type::B, "0", FIELD(extension.authDigestUseAuthInt)},
        {"Extension", "UseOutBoundProxy", Type::B, "0", FIELD(extension.useOutBoundProxy)},
        {"Extension", "OutBoundProxy", Type::S, "", FIELD(extension.outBoundProxy)},

        {"Option", "Process100rel", Type::B, "0", FIELD(option.process100rel)},
        {"Option", "Orig100relProcessType", Type::I, "0", FIELD(option.orig100relProcessType)},
        {"Option", "Term100relProcessType", Type::I, "0", FIELD(option.term100relProcessType)},
        {"Option", "ProcessPrecondition", Type::B, "0", FIELD(option.processPrecondition)},
        {"Option", "OrigPreconProcessType", Type::I, "0", FIELD(option.origPreconProcessType)},
        {"Option", "TermPreconProcessType", Type::I, "0", FIELD(option.termPreconProcessType)},
        {"Option", "ProcessSessionTimer", Type::B, "0", FIELD(option.processSessionTimer)},
        {"Option", "MinSE", Type::I, "0", FIELD(option.minSE)},
        {"Option", "SessionTimerStartType", Type::I, "0", FIELD(option.sessionTimerStartType)},
        {"Option", "UseUpdateSessionRefresh", Type::B, "0", FIELD(option.useUpdateSessionRefresh)},
        {"Option", "OrigSessionTimerProcessType", Type::I, "0", FIELD(option.origSessionTimerProcessType)},
        {"Option", "TermSessionTimerProcessType", Type::I, "0", FIELD(option.termSessionTimerProcessType)},
        {"Option", "OrigSessionExpires", Type::I, "-1", FIELD(option.origSessionExpires)},
        {"Option", "OrigSessionRefresherType", Type::I, "0", FIELD(option.origSessionRefresherType)},
        {"Option", "TermSessionExpires", Type::I, "-1", FIELD(option.termSessionExpires)},
        {"Option", "TermSessionRefresherType", Type::I, "-1", FIELD(option.termSessionRefresherType)},
        {"Option", "CallWaiting", Type::B, "0", FIELD(option.callWaiting)},
        {"Option", "AllowReplaces", Type::B, "0", FIELD(option.allowReplaces)},
        {"Option", "ReplacesNameReplace", Type::B, "0", FIELD(option.replacesNameReplace)},
        {"Option", "NoReplacesToTagCheck", Type::B, "0", FIELD(option.noReplacesToTagCheck)},
        {"Option", "PrivacyHideUserInfo", Type::B, "0", FIELD(option.privacyHideUserInfo)},
        {"Option", "PrivacySetPrivacyHeader", Type::B, "0", FIELD(option.privacySetPrivacyHeader)},
        {"Option", "PrivacySetPPIHeader", Type::B, "0", FIELD(option.privacySetPPIHeader)},
        {"Option", "PrivacySetPPIHeaderAtUnNotifyCall", Type::B, "0", FIELD(option.privacySetPPIHeaderAtUnNotifyCall)},
        {"Option", "PrivacyPPIHeader", Type::S, "", FIELD(option.privacyPPIHeader)},
        {"Option", "PrivacySetPAIHeader", Type::B, "0", FIELD(option.privacySetPAIHeader)},
        {"Option", "PrivacyPAIHeaderAtNotify", Type::S, "", FIELD(option.privacyPAIHeaderAtNotify)},
        {"Option", "PrivacyPAIHeaderAtUnNotify", Type::S, "", FIELD(option.privacyPAIHeaderAtUnNotify)},

        {"Sip", "SipUDPPort", Type::I, "5060", FIELD(sip.sipUDPPort)},
        {"Sip", "SipTCPPort", Type::I, "5060", FIELD(sip.sipTCPPort)},
        {"Sip", "DefaultSipTransportType", Type::I, "0", FIELD(sip.defaultSipTransportType)},
        {"Sip", "TimerT1", Type::I, "500", FIELD(sip.timerT1)},
        {"Sip", "TimetT2", Type::I, "4000", FIELD(sip.timerT2)},
        {"Sip", "TimerT4", Type::I, "5000", FIELD(sip.timerT4)},
        {"Sip", "TimerTD", Type::I, "32000", FIELD(sip.timerTD)},
        {"Sip", "TimerTCancelTimeout", Type::I, "32000", FIELD(sip.timerTCancelTimeout)},
        {"Sip", "UseTCP", Type::B, "0", FIELD(sip.useTCP)},
        {"Sip", "TCPMaxConnection", Type::I, "0", FIELD(sip.tcpMaxConnection)},
        {"Sip", "TCPConnectionTimeoutSec", Type::I, "180", FIELD(sip.tcpConnectionTimeoutSec)},
        {"Sip", "TCPConnectTOMSec", Type::I, "3000", FIELD(sip.tcpConnectTOMSec)},
        {"Sip", "TCPReceiveTOMSec", Type::I, "1000", FIELD(sip.tcpReceiveTOMSec)},
        {"Sip", "TCPSendTOMSec", Type::I, "1000", FIELD(sip.tcpSendTOMSec)},
        {"Sip", "TCPAcceptTOMSec", Type::I, "1000", FIELD(sip.tcpAcceptTOMSec)},
        {"Sip", "UseTCPConnectionAlias", Type::B, "0", FIELD(sip.useTCPConnectionAlias)},
        {"Sip", "SetAllow", Type::B, "0", FIELD(sip.setAllow)},
        {"Sip", "ViaSentByHost", Type::S, "", FIELD(sip.viaSentByHost)},
        {"Sip", "SetViaRPort", Type::B, "0", FIELD(sip.setViaRPort)},
        {"Sip", "SetSetViaConnectionSrcPort", Type::B, "0", FIELD(sip.setViaConnectionSrcPort)},
        {"Sip", "SetViaAlias", Type::B, "0", FIELD(sip.setViaAlias)},
        {"Sip", "ViaParams", Type::S, "", FIELD(sip.viaParams)},
        {"Sip", "RawCallID", Type::S, "", FIELD(sip.rawCallID)},
        {"Sip", "CallIDHost", Type::S, "", FIELD(sip.callIDHost)},
        {"Sip", "LocalTag", Type::S, "", FIELD(sip.localTag)},
        {"Sip", "InitialLocalSeqNo", Type::I, "1", FIELD(sip.initialLocalSeqNo)},
        {"Sip", "MaxForwards", Type::I, "70", FIELD(sip.maxForwards)},
        {"Sip", "Compact", Type::B, "0", FIELD(sip.compact)},
        {"Sip", "SipHeaderOneLine", Type::B, "0", FIELD(sip.sipHeaderOneLine)},
        {"Sip", "ViaSeparateLine", Type::B, "0", FIELD(sip.viaSeparateLine)},
        {"Sip", "RouteSeparateLine", Type::B, "0", FIELD(sip.routeSeparateLine)},
        {"Sip", "RecordRouteSeparateLine", Type::B, "0", FIELD(sip.recordRouteSeparateLine)},
        {"Sip", "UpdateFromAddress", Type::B, "0", FIELD(sip.updateFromAddress)},
        {"Sip", "UpdateToAddress", Type::B, "0", FIELD(sip.updateToAddress)},

        {"Log", "EnableLog", Type::B, "0", FIELD(log.enableLog)},
        {"Log", "LogLevel", Type::I, "4", FIELD(log.logLevel)},
        {"Log", "LogDir", Type::S, ".", FIELD(log.logDir)},
        {"Log", "LogFilePrefix", Type::S, "tessaly", FIELD(log.logFilePrefix)},
        {"Log", "LogFileExtension", Type::S, ".log", FIELD(log.logFileExtension)},
        {"Log", "LogIndexMax", Type::I, "9", FIELD(log.logIndexMax)},
        {"Log", "LogFileSizeThreshold", Type::I, "5000000", FIELD(log.logFileSizeThreshold)},
        {"Log", "LogBuffThreshold", Type::I, "4096", FIELD(log.logBuffThreshold)},
        {"Log", "LogFlushMSec", Type::I, "3000", FIELD(log.logFlushMSec)},

        {"Sound", "RingSoundFile", Type::S, "ring.wav", FIELD(sound.ringSoundFile)},
        {"Sound", "RingMute", Type::B, "0", FIELD(sound.ringMute)},
        {"Sound", "RBTSoundFile", Type::S, "rbt.wav", FIELD(sound.rbtSoundFile)},
        {"Sound", "RBTMute", Type::B, "0", FIELD(sound.rbtMute)},
        {"Sound", "HoldSoundFile", Type::S, "hold.wav", FIELD(sound.holdSoundFile)},
        {"Sound", "SendHoldSound", Type::B, "0", FIELD(sound.sendHoldSound)},
        {"Sound", "TalkSoundFile", Type::S, "talk.wav", FIELD(sound.talkSoundFile)},
        {"Sound", "SendTalkSound", Type::B, "0", FIELD(sound.sendTalkSound)},
        {"Sound", "RecordBufferNum", Type::I, "1", FIELD(sound.recordBufferNum)},
        // Which sound devices the Linux phone opens.
        {"Sound", "AudioDevice", Type::S, "alsa", FIELD(sound.audioDevice)},

        {"Response", "RejectResponseStatusCode", Type::I, "403", FIELD(response.rejectResponseStatusCode)},
        {"Response", "RejectResponseReasonPhrase", Type::S, "", FIELD(response.rejectResponseReasonPhrase)},
        {"Response", "ReInviteResponseStatusCode", Type::I, "200", FIELD(response.reInviteResponseStatusCode)},
        {"Response", "ReInviteResponseReasonPhrase", Type::S, "", FIELD(response.reInviteResponseReasonPhrase)},
        {"Response", "ReInviteResponseDelayMSec", Type::I, "0", FIELD(response.reInviteResponseDelayMSec)},
        {"Response", "SetContactToErrResponse", Type::B, "0", FIELD(response.setContactToErrResponse)},
        {"Response", "NoSetContactTo1xx", Type::B, "0", FIELD(response.noSetContactTo1xx)},
        {"Response", "No18XSending", Type::B, "0", FIELD(response.no18XSending)},
        {"Response", "Send18XPeriodically", Type::B, "0", FIELD(response.send18XPeriodically)},
        {"Response", "Send18XPeriod", Type::I, "60", FIELD(response.send18XPeriod)},
        {"Response", "Send18XType", Type::I, "0", FIELD(response.send18XType)},
        {"Response", "Send183180DelayMSec", Type::I, "500", FIELD(response.send183180DelayMSec)},
        {"Response", "AutoResponding", Type::B, "0", FIELD(response.autoResponding)},
        {"Response", "AutoRespondType", Type::I, "0", FIELD(response.autoRespondType)},
        {"Response", "Update18xTag", Type::I, "-1", FIELD(response.update18xTag)},
        {"Response", "UsePseudoRegistrar", Type::B, "0", FIELD(response.usePseudoRegistrar)},
        {"Response", "UsePseudoMessengerar", Type::B, "0", FIELD(response.usePseudoMessengerar)},
        {"Response", "UsePseudoInfoerar", Type::B, "0", FIELD(response.usePseudoInfoerar)},

        {"Other", "SendHoldReInvite", Type::B, "0", FIELD(other.sendHoldReInvite)},
        {"Other", "AckSDPOnHold", Type::B, "0", FIELD(other.ackSDPOnHold)},
        {"Other", "AckSDPOnUnHold", Type::B, "0", FIELD(other.ackSDPOnUnHold)},
        {"Other", "SendHoldInviteBeforeTransfer", Type::B, "0", FIELD(other.sendHoldInviteBeforeTransfer)},
        {"Other", "NoSDP", Type::B, "0", FIELD(other.noSDP)},
        {"Other", "NoMedia", Type::B, "0", FIELD(other.noMedia)},
        {"Other", "ProhibitMultiSession", Type::B, "0", FIELD(other.prohibitMultiSession)},
        {"Other", "AllowReferC2D", Type::B, "0", FIELD(other.allowReferC2D)},
        {"Other", "NotifyProceeding", Type::B, "0", FIELD(other.notifyProceeding)},
        {"Other", "NoClearCallOnExit", Type::B, "0", FIELD(other.noClearCallOnExit)},
        {"Other", "NoReferToHeadersEscape", Type::B, "0", FIELD(other.noReferToHeadersEscape)},
        {"Other", "SendUpdateAfterFirstPrAck", Type::B, "0", FIELD(other.sendUpdateAfterFirstPrAck)},
        {"Other", "SetPrAckSDPOnce", Type::B, "0", FIELD(other.setPrAckSDPOnce)},
        {"Other", "UseOrigReqURIForTransfer", Type::B, "0", FIELD(other.useOrigReqURIForTransfer)},
        {"Other", "UseSameCallIDForDigestAuth", Type::B, "0", FIELD(other.useSameCallIDForDigestAuth)},
        {"Other", "RemoveResponseRecordRoute", Type::B, "0", FIELD(other.removeResponseRecordRoute)},
        {"Other", "NumOfHistory", Type::I, "5", FIELD(other.numOfHistory)},
        {"Other", "MultiExec", Type::I, "0", FIELD(other.multiExec)},
        {"Other", "SetTitle", Type::B, "0", FIELD(other.setTitle)},
        {"Other", "Title", Type::S, "", FIELD(other.title)},

        {"Filter", "SendingRequestFilter", Type::S, "", FIELD(filter.sendingRequestFilter)},
        {"Filter", "ReceivingRequestFilter", Type::S, "", FIELD(filter.receivingRequestFilter)},
        {"Filter", "SendingResponseFilter", Type::S, "", FIELD(filter.sendingResponseFilter)},
        {"Filter", "ReceivingResponseFilter", Type::S, "", FIELD(filter.receivingResponseFilter)},
        {"Filter", "SendingRequestRegex", Type::S, "", FIELD(filter.sendingRequestRegex)},
        {"Filter", "SendingRequestFmt", Type::S, "", FIELD(filter.sendingRequestFmt)},
        {"Filter", "SendingResponseRegex", Type::S, "", FIELD(filter.sendingResponseRegex)},
        {"Filter", "SendingResponseFmt", Type::S, "", FIELD(filter.sendingResponseFmt)},

        {"CallPark", "SubscribeURI", Type::S, "", FIELD(callPark.subscribeURI)},
        {"CallPark", "SubscribeExpires", Type::I, "3600", FIELD(callPark.subscribeExpires)},
        {"CallPark", "ParkFeatureCode", Type::S, "", FIELD(callPark.parkFeatureCode)},
        {"CallPark", "ParkServer", Type::S, "", FIELD(callPark.parkServer)},

        {"Presence", "SubscribeServer", Type::S, "", FIELD(presence.subscribeServer)},
        {"Presence", "SubscribeExpires", Type::I, "3600", FIELD(presence.subscribeExpires)},
        {"Presence", "PresentityUserID", Type::S, "", FIELD(presence.presentityUserID)},
        {"Presence", "PublishServer", Type::S, "", FIELD(presence.publishServer)},
        {"Presence", "PublishExpires", Type::I, "3600", FIELD(presence.publishExpires)},
        {"Presence", "PresentityDomain", Type::S, "", FIELD(presence.presentityDomain)},
        {"Presence", "PresentityTupleID", Type::S, "", FIELD(presence.presentityTupleID)},
        {"Presence", "PresentityUserDefinedState1", Type::S, "", FIELD(presence.presentityUserDefinedState1)},
        {"Presence", "PresentityUserDefinedState2", Type::S, "", FIELD(presence.presentityUserDefinedState2)},
        {"Presence", "PresenceInfoSetType", Type::I, "0", FIELD(presence.presenceInfoSetType)},
        {"Presence", "PIDFExtPrefix", Type::S, "myext:", FIELD(presence.pidfExtPrefix)},

        {"NATT", "NATTraversal", Type::B, "0", FIELD(natt.natTraversal)},
        {"NATT", "ExternalSIPIPAddress", Type::S, "", FIELD(natt.externalSIPIPAddress)},
        {"NATT", "ExternalSIPUDPPort", Type::I, "0", FIELD(natt.externalSIPUDPPort)},
        {"NATT", "ExternalSIPTCPPort", Type::I, "0", FIELD(natt.externalSIPTCPPort)},
        {"NATT", "ExternalRTPIPAddress", Type::S, "", FIELD(natt.externalRTPIPAddress)},
        {"NATT", "ExternalRTPPort1", Type::I, "0", FIELD(natt.externalRTPPort1)},
        {"NATT", "ExternalRTPPort2", Type::I, "0", FIELD(natt.externalRTPPort2)},
        {"NATT", "UseUPnP", Type::B, "0", FIELD(natt.useUPnP)},
        {"NATT", "UPnPUniCast", Type::B, "0", FIELD(natt.upnpUniCast)},
        {"NATT", "UPnPIGDAddress", Type::S, "", FIELD(natt.upnpIGDAddress)},
        {"NATT", "UPnPSSDPTimeoutSec", Type::I, "3", FIELD(natt.upnpSSDPTimeoutSec)},
        {"NATT", "UPnPHTTPConnTimeoutSec", Type::I, "3", FIELD(natt.upnpHTTPConnTimeoutSec)},
        {"NATT", "UPnPHTTPRecvTimeoutSec", Type::I, "3", FIELD(natt.upnpHTTPRecvTimeoutSec)},
        {"NATT", "UPnPHTTPSendTimeoutSec", Type::I, "3", FIELD(natt.upnpHTTPSendTimeoutSec)},
        {"NATT", "UPnPAddPortLeaseDuration", Type::I, "0", FIELD(natt.upnpAddPortLeaseDuration)},

        {"SendReq", "SendReqMethod", Type::I, "0", FIELD(sendReq.sendReqMethod)},
        {"SendReq", "SendReqInDialog", Type::I, "0", FIELD(sendReq.sendReqInDialog)},
        {"SendReq", "SendReqURI", Type::S, "", FIELD(sendReq.sendReqURI)},
        {"SendReq", "SendReqHostPort", Type::S, "", FIELD(sendReq.sendReqHostPort)},
        {"SendReq", "SendReqFrom", Type::S, "", FIELD(sendReq.sendReqFrom)},
        {"SendReq", "SendReqTo", Type::S, "", FIELD(sendReq.sendReqTo)},
        {"SendReq", "SendReqCallID", Type::S, "", FIELD(sendReq.sendReqCallID)},
        {"SendReq", "SendReqContact", Type::S, "", FIELD(sendReq.sendReqContact)},
        {"SendReq", "SendReqCSeq", Type::I, "1", FIELD(sendReq.sendReqCSeq)},
        {"SendReq", "SendReqHeaders", Type::E, "", FIELD(sendReq.sendReqHeaders)},
        {"SendReq", "SendReqUseContact", Type::I, "0", FIELD(sendReq.sendReqUseContact)},
        {"SendReq", "SendReqContentType", Type::S, "", FIELD(sendReq.sendReqContentType)},
        {"SendReq", "SendReqContentCharCode", Type::I, "0", FIELD(sendReq.sendReqContentCharCode)},
        {"SendReq", "SendReqContent", Type::E, "", FIELD(sendReq.sendReqContent)},

        {"Auto", "CallingInterval", Type::I, "0", FIELD(autoCall.callingInterval)},
        {"Auto", "TalkTime", Type::I, "0", FIELD(autoCall.talkTime)},

        {"Local", "InviteURIScheme", Type::S, "sip", FIELD(local.inviteURIScheme)},
        {"Local", "InviteURIUserInfo", Type::S, "user", FIELD(local.inviteURIUserInfo)},
        {"Local", "InviteURIDomain", Type::S, "", FIELD(local.inviteURIDomain)},
        {"Local", "UseInviteHostPort", Type::I, "0", FIELD(local.useInviteHostPort)},
        {"Local", "InviteHostPort", Type::S, "host:port", FIELD(local.inviteHostPort)},
        {"Local", "UseInviteTo", Type::I, "0", FIELD(local.useInviteTo)},
        {"Local", "InviteTo", Type::S, "\"Name\" <sip:userinfo@domain>", FIELD(local.inviteTo)},
        {"Local", "UseInviteFrom", Type::I, "0", FIELD(local.useInviteFrom)},
        {"Local", "InviteFrom", Type::S, "\"Name\" <sip:userinfo@domain>", FIELD(local.inviteFrom)},
        {"Local", "PrivacyMode", Type::I, "0", FIELD(local.privacyMode)},
        {"Local", "CorvaneMode", Type::B, "0", FIELD(local.corvaneMode), true},
        {"Local", "BackgroundColor", Type::X, "-1", FIELD(local.backgroundColor), true},
        {"Local", "BackgroundAlpha", Type::I, "255", FIELD(local.backgroundAlpha), true},
        {"Local", "MessageCaptor", Type::B, "1", FIELD(local.messageCaptor), true},
        {"Local", "DialogTopMost", Type::B, "0", FIELD(local.dialogTopMost), true},

        {"Window", "WindowPositionLeft", Type::I, "0", FIELD(window.windowPositionLeft)},
        {"Window", "WindowPositionTop", Type::I, "0", FIELD(window.windowPositionTop)},
    };
    addEscapeFlags(rows);
    addProgrammable18x(rows);
    addBuddies(rows, buddyCount);
    addHistories(rows, historyCount);
    addHeaders(rows);
    addSdpProfiles(rows);
    return rows;
}

using Key = std::pair<std::string, std::string>;
using Values = std::map<Key, std::string>;

// The section, key and value of every key line of an INI text, spelt as they stand.
Values keysOf(const std::string& text) {
    Values values;
    std::istringstream lines(text);
    std::string line;
    std::string section;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        if (line.front() == '[') {
            section = line.substr(1, line.find(']') - 1);
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        EXPECT_TRUE(values.emplace(Key{section, line.substr(0, equals)}, line.substr(equals + 1)).second) << line;
    }
    return values;
}

Values written(const Settings& settings) {
    kel_util::IniFile ini;
    SettingsFile::write(settings, ini, false);
    return keysOf(ini.text());
}

// A value unlike the default for row number index, in its file form.
std::string otherValue(const KeyRow& row, std::size_t index) {
    if (row.key == "NumOfHistory") return "3";
    if (row.key == "BuddyListSize") return "2";
    const std::string n = std::to_string(index);
    switch (row.type) {
        case Type::B: return row.byDefault == "1" ? "0" : "1";
        case Type::I: return std::to_string(7000 + index);
        case Type::S: return "v" + n;
        case Type::F: return "0.500000";
        case Type::E: return "v" + n + "\\r\\nline 2";
        case Type::X: return "a0" + n;
    }
    return "";
}

// The field value that otherValue stands for.
std::string fieldValue(const KeyRow& row, const std::string& fileText) {
    if (row.type == Type::E) return fileText.substr(0, fileText.find('\\')) + "\r\nline 2";
    return fileText;
}

TEST(SettingsKeyTable, DefaultsAreWrittenUnderEveryKeyOfTheTableAndNoOther) {
    const Settings defaults;
    Values expected;
    for (const KeyRow& row : keyTable(5, 0)) {
        EXPECT_EQ(row.field(defaults), row.byDefault) << "default of [" << row.section << "] " << row.key;
        if (!row.sparse) expected[{row.section, row.key}] = row.byDefault;
    }
    const Values actual = written(defaults);
    for (const auto& [key, value] : expected) {
        const auto found = actual.find(key);
        if (found == actual.end()) {
            ADD_FAILURE() << "not written: [" << key.first << "] " << key.second;
        } else {
            EXPECT_EQ(found->second, value) << "[" << key.first << "] " << key.second;
        }
    }
    for (const auto& [key, value] : actual) {
        EXPECT_TRUE(expected.contains(key)) << "written but in no table: [" << key.first << "] " << key.second;
    }
}

TEST(SettingsKeyTable, EveryKeyReadFromAFileReachesItsFieldAndIsWrittenBack) {
    const Rows rows = keyTable(3, 2);
    std::vector<std::string> values;
    std::vector<std::string> sections;
    std::map<std::string, std::string> keyLines;  // by section
    for (std::size_t i = 0; i < rows.size(); ++i) {
        values.push_back(otherValue(rows[i], i));
        if (!keyLines.contains(rows[i].section)) sections.push_back(rows[i].section);
        keyLines[rows[i].section] += rows[i].key + "=" + values.back() + "\n";
    }
    std::string text;
    for (const std::string& section : sections) text += "[" + section + "]\n" + keyLines[section];

    const Settings read = SettingsFile::read(kel_util::IniFile(text));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].field(read), fieldValue(rows[i], values[i])) << "[" << rows[i].section << "] " << rows[i].key;
    }

    const Values back = written(read);
    EXPECT_EQ(back.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto found = back.find({rows[i].section, rows[i].key});
        EXPECT_TRUE(found != back.end() && found->second == values[i])
            << "[" << rows[i].section << "] " << rows[i].key << " written as "
            << (found == back.end() ? "nothing" : found->second);
    }
}

}  // namespace
