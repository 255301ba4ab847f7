// The one table of the settings file: which key of which section holds which field, in the
// order of the file. Loading and saving both walk it, so a key cannot be read under one name
// and written under another.
//
// A visitor provides:
//   section(name)                        the following keys belong to this section
//   value(key, field)                    bool, int, double or std::string, written every time
//   escaped(key, std::string&)           a multi-line text stored on one line
//   sparse(key, field, defaultValue)     written only while it differs from its default
//   color(key, long&)                    hexadecimal colour, written only when not -1
//   history(name, list, count, fullWindowOnly)  keys name0, name1, ... up to count
//   buddies(list)                        BuddyListSize, BuddyUserID<i>, BuddyDisplay<i>
#pragma once

#include "phone/Settings.h"

#include <string>

class SettingsFields {
public:
    // Walks every key of the settings file in file order; s is a Settings, const when only
    // read.
    template <class V>
    static void visit(auto& s, V& v) {
        visitBasic(s.basic, v);
        visitExtension(s.extension, v);
        visitOption(s.option, v);
        visitSip(s.sip, v);
        visitLog(s.log, v);
        visitSound(s.sound, v);
        visitResponse(s.response, v);
        visitOther(s.other, v);
        visitFilter(s.filter, v);
        visitCallPark(s.callPark, v);
        visitPresence(s.presence, v);
        visitNatt(s.natt, v);
        visitSendReq(s.sendReq, v);
        visitAuto(s.autoCall, v);
        visitLocal(s.local, s.other.numOfHistory, v);
        visitWindow(s.window, v);
        visitHeader(s.header, v);
        visitSdp(s.sdp, v);
    }

private:
    template <class V>
    static void visitBasic(auto& s, V& v) {
        v.section("Basic");
        v.value("User", s.user);
        v.value("Password", s.password);
        v.value("ServerHost", s.serverHost);
        v.value("ServerPort", s.serverPort);
    }

    template <class V>
    static void visitExtension(auto& s, V& v) {
        v.section("Extension");
        v.value("LocalAddress", s.localAddress);
        v.value("ContactAddress", s.contactAddress);
        v.value("RegisterOnStartUp", s.registerOnStartUp);
        v.value("UnregisterByWildCard", s.unregisterByWildCard);
        v.value("RegisterURI", s.registerURI);
        v.value("RegisterExpires", s.registerExpires);
        v.value("RegisterQValue", s.registerQValue);
        v.value("AuthDigest", s.authDigest);
        v.value("AuthDigestAutomatically", s.authDigestAutomatically);
        v.value("AuthDigestCountMax", s.authDigestCountMax);
        v.value("AuthDigestUseAuthInt", s.authDigestUseAuthInt);
        v.value("UseOutBoundProxy", s.useOutBoundProxy);
        v.value("OutBoundProxy", s.outBoundProxy);
    }

    template <class V>
    static void visitOption(auto& s, V& v) {
        v.section("Option");
        v.value("Process100rel", s.process100rel);
        v.value("Orig100relProcessType", s.orig100relProcessType);
        v.value("Term100relProcessType", s.term100relProcessType);
        v.value("ProcessPrecondition", s.processPrecondition);
        v.value("OrigPreconProcessType", s.origPreconProcessType);
        v.value("TermPreconProcessType", s.termPreconProcessType);
        v.value("ProcessSessionTimer", s.processSessionTimer);
        v.value("MinSE", s.minSE);
        v.value("SessionTimerStartType", s.sessionTimerStartType);
        v.value("UseUpdateSessionRefresh", s.useUpdateSessionRefresh);
        v.value("OrigSessionTimerProcessType", s.origSessionTimerProcessType);
        v.value("TermSessionTimerProcessType", s.termSessionTimerProcessType);
        v.value("OrigSessionExpires", s.origSessionExpires);
        v.value("OrigSessionRefresherType", s.origSessionRefresherType);
        v.value("TermSessionExpires", s.termSessionExpires);
        v.value("TermSessionRefresherType", s.termSessionRefresherType);
        v.value("CallWaiting", s.callWaiting);
        v.value("AllowReplaces", s.allowReplaces);
        v.value("ReplacesNameReplace", s.replacesNameReplace);
        v.value("NoReplacesToTagCheck", s.noReplacesToTagCheck);
        v.value("PrivacyHideUserInfo", s.privacyHideUserInfo);
        v.value("PrivacySetPrivacyHeader", s.privacySetPrivacyHeader);
        v.value("PrivacySetPPIHeader", s.privacySetPPIHeader);
        v.value("PrivacySetPPIHeaderAtUnNotifyCall", s.privacySetPPIHeaderAtUnNotifyCall);
        v.value("PrivacyPPIHeader", s.privacyPPIHeader);
        v.value("PrivacySetPAIHeader", s.privacySetPAIHeader);
        v.value("PrivacyPAIHeaderAtNotify", s.privacyPAIHeaderAtNotify);
        v.value("PrivacyPAIHeaderAtUnNotify", s.privacyPAIHeaderAtUnNotify);
    }

    template <class V>
    static void visitEscapeFlags(const char* prefix, auto& f, V& v) {
        const std::string p = prefix;
        v.value(p + "RequestURI", f.requestURI);
        v.value(p + "Route", f.route);
        v.value(p + "RecordRoute", f.recordRoute);
        v.value(p + "From", f.from);
        v.value(p + "To", f.to);
        v.value(p + "Contact", f.contact);
    }

    template <class V>
    static void visitSip(auto& s, V& v) {
        v.section("Sip");
        v.value("SipUDPPort", s.sipUDPPort);
        v.value("SipTCPPort", s.sipTCPPort);
        v.value("DefaultSipTransportType", s.defaultSipTransportType);
        v.value("TimerT1", s.timerT1);
        v.value("TimetT2", s.timerT2);
        v.value("TimerT4", s.timerT4);
        v.value("TimerTD", s.timerTD);
        v.value("TimerTCancelTimeout", s.timerTCancelTimeout);
        v.value("UseTCP", s.useTCP);
        v.value("TCPMaxConnection", s.tcpMaxConnection);
        v.value("TCPConnectionTimeoutSec", s.tcpConnectionTimeoutSec);
        v.value("TCPConnectTOMSec", s.tcpConnectTOMSec);
        v.value("TCPReceiveTOMSec", s.tcpReceiveTOMSec);
        v.value("TCPSendTOMSec", s.tcpSendTOMSec);
        v.value("TCPAcceptTOMSec", s.tcpAcceptTOMSec);
        v.value("UseTCPConnectionAlias", s.useTCPConnectionAlias);
        v.value("SetAllow", s.setAllow);
        v.value("ViaSentByHost", s.viaSentByHost);
        v.value("SetViaRPort", s.setViaRPort);
        v.value("SetSetViaConnectionSrcPort", s.setViaConnectionSrcPort);
        v.value("SetViaAlias", s.setViaAlias);
        v.value("ViaParams", s.viaParams);
        v.value("RawCallID", s.rawCallID);
        v.value("CallIDHost", s.callIDHost);
        v.value("LocalTag", s.localTag);
        v.value("InitialLocalSeqNo", s.initialLocalSeqNo);
        v.value("MaxForwards", s.maxForwards);
        v.value("Compact", s.compact);
        v.value("SipHeaderOneLine", s.sipHeaderOneLine);
        v.value("ViaSeparateLine", s.viaSeparateLine);
        v.value("RouteSeparateLine", s.routeSeparateLine);
        v.value("RecordRouteSeparateLine", s.recordRouteSeparateLine);
        v.value("UpdateFromAddress", s.updateFromAddress);
        v.value("UpdateToAddress", s.updateToAddress);
        visitEscapeFlags("Escape", s.escape, v);
        visitEscapeFlags("UnEscape", s.unEscape, v);
    }

    template <class V>
    static void visitLog(auto& s, V& v) {
        v.section("Log");
        v.value("EnableLog", s.enableLog);
        v.value("LogLevel", s.logLevel);
        v.value("LogDir", s.logDir);
        v.value("LogFilePrefix", s.logFilePrefix);
        v.value("LogFileExtension", s.logFileExtension);
        v.value("LogIndexMax", s.logIndexMax);
        v.value("LogFileSizeThreshold", s.logFileSizeThreshold);
        v.value("LogBuffThreshold", s.logBuffThreshold);
        v.value("LogFlushMSec", s.logFlushMSec);
    }

    template <class V>
    static void visitSound(auto& s, V& v) {
        v.section("Sound");
        v.value("RingSoundFile", s.ringSoundFile);
        v.value("RingMute", s.ringMute);
        v.value("RBTSoundFile", s.rbtSoundFile);
        v.value("RBTMute", s.rbtMute);
        v.value("HoldSoundFile", s.holdSoundFile);
        v.value("SendHoldSound", s.sendHoldSound);
        v.value("TalkSoundFile", s.talkSoundFile);
        v.value("SendTalkSound", s.sendTalkSound);
        v.value("RecordBufferNum", s.recordBufferNum);
        v.value("AudioDevice", s.audioDevice);
    }

    template <class V>
    static void visitResponse(auto& s, V& v) {
        v.section("Response");
        v.value("RejectResponseStatusCode", s.rejectResponseStatusCode);
        v.value("RejectResponseReasonPhrase", s.rejectResponseReasonPhrase);
        v.value("ReInviteResponseStatusCode", s.reInviteResponseStatusCode);
        v.value("ReInviteResponseReasonPhrase", s.reInviteResponseReasonPhrase);
        v.value("ReInviteResponseDelayMSec", s.reInviteResponseDelayMSec);
        v.value("SetContactToErrResponse", s.setContactToErrResponse);
        v.value("NoSetContactTo1xx", s.noSetContactTo1xx);
        v.value("No18XSending", s.no18XSending);
        v.value("Send18XPeriodically", s.send18XPeriodically);
        v.value("Send18XPeriod", s.send18XPeriod);
        v.value("Send18XType", s.send18XType);
        v.value("Send183180DelayMSec", s.send183180DelayMSec);
        v.value("AutoResponding", s.autoResponding);
        v.value("AutoRespondType", s.autoRespondType);
        v.value("Update18xTag", s.update18xTag);
        for (std::size_t i = 0; i < s.programmable.size(); ++i) {
            const std::string n = std::to_string(i + 1);
            v.value("Send18xProgrammable" + n, s.programmable[i].send);
            v.value("Send18xStatusCodeProgrammable" + n, s.programmable[i].statusCode);
            v.value("Send18xReasonPhraseProgrammable" + n, s.programmable[i].reasonPhrase);
            v.value("Send18xDelayProgrammable" + n, s.programmable[i].delayMSec);
        }
        v.value("UsePseudoRegistrar", s.usePseudoRegistrar);
        v.value("UsePseudoMessengerar", s.usePseudoMessengerar);
        v.value("UsePseudoInfoerar", s.usePseudoInfoerar);
    }

    template <class V>
    static void visitOther(auto& s, V& v) {
        v.section("Other");
        v.value("SendHoldReInvite", s.sendHoldReInvite);
        v.value("AckSDPOnHold", s.ackSDPOnHold);
        v.value("AckSDPOnUnHold", s.ackSDPOnUnHold);
        v.value("SendHoldInviteBeforeTransfer", s.sendHoldInviteBeforeTransfer);
        v.value("NoSDP", s.noSDP);
        v.value("NoMedia", s.noMedia);
        v.value("ProhibitMultiSession", s.prohibitMultiSession);
        v.value("AllowReferC2D", s.allowReferC2D);
        v.value("NotifyProceeding", s.notifyProceeding);
        v.value("NoClearCallOnExit", s.noClearCallOnExit);
        v.value("NoReferToHeadersEscape", s.noReferToHeadersEscape);
        v.value("SendUpdateAfterFirstPrAck", s.sendUpdateAfterFirstPrAck);
        v.value("SetPrAckSDPOnce", s.setPrAckSDPOnce);
        v.value("UseOrigReqURIForTransfer", s.useOrigReqURIForTransfer);
        v.value("UseSameCallIDForDigestAuth", s.useSameCallIDForDigestAuth);
        v.value("RemoveResponseRecordRoute", s.removeResponseRecordRoute);
        v.value("NumOfHistory", s.numOfHistory);
        v.value("MultiExec", s.multiExec);
        v.value("SetTitle", s.setTitle);
        v.value("Title", s.title);
    }

    template <class V>
    static void visitFilter(auto& s, V& v) {
        v.section("Filter");
        v.value("SendingRequestFilter", s.sendingRequestFilter);
        v.value("ReceivingRequestFilter", s.receivingRequestFilter);
        v.value("SendingResponseFilter", s.sendingResponseFilter);
        v.value("ReceivingResponseFilter", s.receivingResponseFilter);
        v.value("SendingRequestRegex", s.sendingRequestRegex);
        v.value("SendingRequestFmt", s.sendingRequestFmt);
        v.value("SendingResponseRegex", s.sendingResponseRegex);
        v.value("SendingResponseFmt", s.sendingResponseFmt);
    }

    template <class V>
    static void visitCallPark(auto& s, V& v) {
        v.section("CallPark");
        v.value("SubscribeURI", s.subscribeURI);
        v.value("SubscribeExpires", s.subscribeExpires);
        v.value("ParkFeatureCode", s.parkFeatureCode);
        v.value("ParkServer", s.parkServer);
    }

    template <class V>
    static void visitPresence(auto& s, V& v) {
        v.section("Presence");
        v.value("SubscribeServer", s.subscribeServer);
        v.value("SubscribeExpires", s.subscribeExpires);
        v.value("PresentityUserID", s.presentityUserID);
        v.value("PublishServer", s.publishServer);
        v.value("PublishExpires", s.publishExpires);
        v.value("PresentityDomain", s.presentityDomain);
        v.value("PresentityTupleID", s.presentityTupleID);
        v.value("PresentityUserDefinedState1", s.presentityUserDefinedState1);
        v.value("PresentityUserDefinedState2", s.presentityUserDefinedState2);
        v.value("PresenceInfoSetType", s.presenceInfoSetType);
        v.value("PIDFExtPrefix", s.pidfExtPrefix);
        v.buddies(s.buddies);
    }

    template <class V>
    static void visitNatt(auto& s, V& v) {
        v.section("NATT");
        v.value("NATTraversal", s.natTraversal);
        v.value("ExternalSIPIPAddress", s.externalSIPIPAddress);
        v.value("ExternalSIPUDPPort", s.externalSIPUDPPort);
        v.value("ExternalSIPTCPPort", s.externalSIPTCPPort);
        v.value("ExternalRTPIPAddress", s.externalRTPIPAddress);
        v.value("ExternalRTPPort1", s.externalRTPPort1);
        v.value("ExternalRTPPort2", s.externalRTPPort2);
        v.value("UseUPnP", s.useUPnP);
        v.value("UPnPUniCast", s.upnpUniCast);
        v.value("UPnPIGDAddress", s.upnpIGDAddress);
        v.value("UPnPSSDPTimeoutSec", s.upnpSSDPTimeoutSec);
        v.value("UPnPHTTPConnTimeoutSec", s.upnpHTTPConnTimeoutSec);
        v.value("UPnPHTTPRecvTimeoutSec", s.upnpHTTPRecvTimeoutSec);
        v.value("UPnPHTTPSendTimeoutSec", s.upnpHTTPSendTimeoutSec);
        v.value("UPnPAddPortLeaseDuration", s.upnpAddPortLeaseDuration);
    }

    template <class V>
    static void visitSendReq(auto& s, V& v) {
        v.section("SendReq");
        v.value("SendReqMethod", s.sendReqMethod);
        v.value("SendReqInDialog", s.sendReqInDialog);
        v.value("SendReqURI", s.sendReqURI);
        v.value("SendReqHostPort", s.sendReqHostPort);
        v.value("SendReqFrom", s.sendReqFrom);
        v.value("SendReqTo", s.sendReqTo);
        v.value("SendReqCallID", s.sendReqCallID);
        v.value("SendReqContact", s.sendReqContact);
        v.value("SendReqCSeq", s.sendReqCSeq);
        v.escaped("SendReqHeaders", s.sendReqHeaders);
        v.value("SendReqUseContact", s.sendReqUseContact);
        v.value("SendReqContentType", s.sendReqContentType);
        v.value("SendReqContentCharCode", s.sendReqContentCharCode);
        v.escaped("SendReqContent", s.sendReqContent);
    }

    template <class V>
    static void visitAuto(auto& s, V& v) {
        v.section("Auto");
        v.value("CallingInterval", s.callingInterval);
        v.value("TalkTime", s.talkTime);
    }

    // historyLength is NumOfHistory, read before this section.
    template <class V>
    static void visitLocal(auto& s, int historyLength, V& v) {
        v.section("Local");
        v.value("InviteURIScheme", s.inviteURIScheme);
        v.value("InviteURIUserInfo", s.inviteURIUserInfo);
        v.value("InviteURIDomain", s.inviteURIDomain);
        v.value("UseInviteHostPort", s.useInviteHostPort);
        v.value("InviteHostPort", s.inviteHostPort);
        v.value("UseInviteTo", s.useInviteTo);
        v.value("InviteTo", s.inviteTo);
        v.value("UseInviteFrom", s.useInviteFrom);
        v.value("InviteFrom", s.inviteFrom);
        v.value("PrivacyMode", s.privacyMode);
        v.sparse("CorvaneMode", s.corvaneMode, false);
        v.color("BackgroundColor", s.backgroundColor);
        v.sparse("BackgroundAlpha", s.backgroundAlpha, 255);
        v.sparse("MessageCaptor", s.messageCaptor, true);
        v.sparse("DialogTopMost", s.dialogTopMost, false);
        v.history("InviteURIUserInfo", s.inviteURIUserInfoHistory, historyLength, false);
        v.history("InviteURIDomain", s.inviteURIDomainHistory, historyLength, false);
        v.history("InviteHostPort", s.inviteHostPortHistory, historyLength, true);
        v.history("InviteTo", s.inviteToHistory, historyLength, true);
        v.history("InviteFrom", s.inviteFromHistory, historyLength, true);
    }

    template <class V>
    static void visitWindow(auto& s, V& v) {
        v.section("Window");
        v.value("WindowPositionLeft", s.windowPositionLeft);
        v.value("WindowPositionTop", s.windowPositionTop);
    }

    template <class V>
    static void visitHeader(auto& s, V& v) {
        v.section("Header");
        for (std::size_t i = 0; i < HeaderSettings::kindCount; ++i) {
            v.escaped(std::string(HeaderSettings::kinds()[i]) + "AdditionalHeaders", s.additionalHeaders[i]);
        }
    }

    template <class V>
    static void visitSdpProfile(const std::string& p, auto& s, V& v) {
        v.value(p + "SetSDP", s.setSDP);
        v.value(p + "IsFreeFormat", s.isFreeFormat);
        v.escaped(p + "FreeFormatSDP", s.freeFormatSDP);
        v.value(p + "ContentType", s.contentType);
        v.value(p + "OriginUser", s.originUser);
        v.value(p + "OriginSessionID", s.originSessionID);
        v.value(p + "OriginVersion", s.originVersion);
        v.value(p + "SetOriginSessionID", s.setOriginSessionID);
        v.value(p + "SetOriginVersion", s.setOriginVersion);
        v.value(p + "IncrementSDPOriginVersion", s.incrementSDPOriginVersion);
        v.value(p + "OriginAddress", s.originAddress);
        v.value(p + "ConnectionAddress", s.connectionAddress);
        v.value(p + "ConnectionPort", s.connectionPort);
        v.value(p + "ConnectionMode", s.connectionMode);
        v.value(p + "ConnectionPTime", s.connectionPTime);
        v.value(p + "ConnectionCODEC", s.connectionCODEC);
        v.escaped(p + "AdditionalAttributes", s.additionalAttributes);
        v.value(p + "AdditionalMediaFormats", s.additionalMediaFormats);
        v.value(p + "UseRTPMap", s.useRTPMap);
        v.value(p + "NegotiateRTPMap", s.negotiateRTPMap);
        v.escaped(p + "RTPMap", s.rtpMap);
        v.value(p + "MediaFormat", s.mediaFormat);
    }

    template <class V>
    static void visitSdp(auto& s, V& v) {
        v.section("SDP");
        for (std::size_t i = 0; i < SdpSettings::profileCount; ++i) {
            visitSdpProfile(SdpSettings::profileNames()[i], s.profiles[i], v);
        }
    }
};
