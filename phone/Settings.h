// The settings record: every behaviour the operator can bend, one field per key of the
// settings file, grouped by the file's sections. Member initialisers are the defaults.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

struct BasicSettings {
    std::string user = "user";
    std::string password;
    std::string serverHost = "example.com";
    int serverPort = 0;  // 0 = none given

    bool operator==(const BasicSettings&) const = default;
};

struct ExtensionSettings {
    std::string localAddress;
    std::string contactAddress;
    bool registerOnStartUp = false;
    bool unregisterByWildCard = false;
    std::string registerURI;
    int registerExpires = 3600;   // -1 = no Expires
    double registerQValue = 0.0;  // 0 = no q-value
    bool authDigest = true;
    bool authDigestAutomatically = false;
    int authDigestCountMax = 1;
    bool authDigestUseAuthInt = false;
    bool useOutBoundProxy = false;
    std::string outBoundProxy;  // host:port

    bool operator==(const ExtensionSettings&) const = default;
};

// INVITE session behaviour, with the privacy choices of outgoing calls.
struct OptionSettings {
    bool process100rel = false;
    int orig100relProcessType = 0;
    int term100relProcessType = 0;
    bool processPrecondition = false;
    int origPreconProcessType = 0;
    int termPreconProcessType = 0;
    bool processSessionTimer = false;
    int minSE = 0;
    int sessionTimerStartType = 0;
    bool useUpdateSessionRefresh = false;
    int origSessionTimerProcessType = 0;
    int termSessionTimerProcessType = 0;
    int origSessionExpires = -1;  // -1 = none
    int origSessionRefresherType = 0;
    int termSessionExpires = -1;  // -1 = none
    int termSessionRefresherType = -1;
    bool callWaiting = false;
    bool allowReplaces = false;
    bool replacesNameReplace = false;
    bool noReplacesToTagCheck = false;
    bool privacyHideUserInfo = false;
    bool privacySetPrivacyHeader = false;
    bool privacySetPPIHeader = false;
    bool privacySetPPIHeaderAtUnNotifyCall = false;
    std::string privacyPPIHeader;
    bool privacySetPAIHeader = false;
    std::string privacyPAIHeaderAtNotify;
    std::string privacyPAIHeaderAtUnNotify;

    bool operator==(const OptionSettings&) const = default;
};

// The six header fields whose URIs the syntax layer may escape on output or unescape on input.
struct EscapeFlags {
    bool requestURI = false;
    bool route = false;
    bool recordRoute = false;
    bool from = false;
    bool to = false;
    bool contact = false;

    bool operator==(const EscapeFlags&) const = default;
};

// Stack parameters. Times are milliseconds unless the name says seconds.
struct SipSettings {
    int sipUDPPort = 5060;
    int sipTCPPort = 5060;
    int defaultSipTransportType = 0;  // 0 UDP, 1 TCP, 2 TLS
    int timerT1 = 500;
    int timerT2 = 4000;  // key "TimetT2"
    int timerT4 = 5000;
    int timerTD = 32000;
    int timerTCancelTimeout = 32000;
    bool useTCP = false;
    int tcpMaxConnection = 0;
    int tcpConnectionTimeoutSec = 180;
    int tcpConnectTOMSec = 3000;
    int tcpReceiveTOMSec = 1000;
    int tcpSendTOMSec = 1000;
    int tcpAcceptTOMSec = 1000;
    bool useTCPConnectionAlias = false;
    bool setAllow = false;
    std::string viaSentByHost;  // empty = the local address
    bool setViaRPort = false;
    bool setViaConnectionSrcPort = false;  // key "SetSetViaConnectionSrcPort"
    bool setViaAlias = false;
    std::string viaParams;
    std::string rawCallID;
    std::string callIDHost;
    std::string localTag;       // "null" stands for an empty tag
    int initialLocalSeqNo = 1;  // -1 = random
    int maxForwards = 70;
    bool compact = false;
    bool sipHeaderOneLine = false;
    bool viaSeparateLine = false;
    bool routeSeparateLine = false;
    bool recordRouteSeparateLine = false;
    bool updateFromAddress = false;
    bool updateToAddress = false;
    EscapeFlags escape;
    EscapeFlags unEscape;

    bool operator==(const SipSettings&) const = default;
};

struct LogSettings {
    bool enableLog = false;
    int logLevel = 4;
    std::string logDir = ".";  // empty or missing directory = "."
    std::string logFilePrefix = "tessaly";
    std::string logFileExtension = ".log";
    int logIndexMax = 9;
    int logFileSizeThreshold = 5000000;
    int logBuffThreshold = 4096;
    int logFlushMSec = 3000;

    bool operator==(const LogSettings&) const = default;
};

struct SoundSettings {
    std::string ringSoundFile = "ring.wav";
    bool ringMute = false;
    std::string rbtSoundFile = "rbt.wav";  // ring-back tone
    bool rbtMute = false;
    std::string holdSoundFile = "hold.wav";
    bool sendHoldSound = false;
    std::string talkSoundFile = "talk.wav";
    bool sendTalkSound = false;
    int recordBufferNum = 1;
    // The sound devices: "alsa", "alsa:<pcm>", "null" or "file:<in.wav>,<out.wav>"
    // (media/AudioDeviceFactory.h); TESSALY_AUDIO overrides it.
    std::string audioDevice = "alsa";

    bool operator==(const SoundSettings&) const = default;
};

// One of the six programmable provisional responses.
struct Programmable18x {
    bool send = false;
    int statusCode = 180;
    std::string reasonPhrase;
    int delayMSec = 500;

    bool operator==(const Programmable18x&) const = default;
};

struct ResponseSettings {
    static constexpr std::size_t programmableCount = 6;

    int rejectResponseStatusCode = 403;
    std::string rejectResponseReasonPhrase;
    int reInviteResponseStatusCode = 200;
    std::string reInviteResponseReasonPhrase;
    int reInviteResponseDelayMSec = 0;
    bool setContactToErrResponse = false;
    bool noSetContactTo1xx = false;
    bool no18XSending = false;
    bool send18XPeriodically = false;
    int send18XPeriod = 60;  // seconds
    int send18XType = 0;
    int send183180DelayMSec = 500;
    bool autoResponding = false;
    int autoRespondType = 0;
    int update18xTag = -1;
    std::array<Programmable18x, programmableCount> programmable{};
    bool usePseudoRegistrar = false;
    bool usePseudoMessengerar = false;
    bool usePseudoInfoerar = false;

    bool operator==(const ResponseSettings&) const = default;
};

struct OtherSettings {
    bool sendHoldReInvite = false;
    bool ackSDPOnHold = false;
    bool ackSDPOnUnHold = false;
    bool sendHoldInviteBeforeTransfer = false;
    bool noSDP = false;
    bool noMedia = false;
    bool prohibitMultiSession = false;
    bool allowReferC2D = false;
    bool notifyProceeding = false;
    bool noClearCallOnExit = false;
    bool noReferToHeadersEscape = false;
    bool sendUpdateAfterFirstPrAck = false;
    bool setPrAckSDPOnce = false;
    bool useOrigReqURIForTransfer = false;
    bool useSameCallIDForDigestAuth = false;
    bool removeResponseRecordRoute = false;
    int numOfHistory = 5;  // length of each history list
    int multiExec = 0;     // non-zero: a second instance may run
    bool setTitle = false;
    std::string title;

    bool operator==(const OtherSettings&) const = default;
};

// Filter lists are "METHOD[:status]" entries separated by ","; the rewrites are a regular
// expression and its replacement format.
struct FilterSettings {
    std::string sendingRequestFilter;
    std::string receivingRequestFilter;
    std::string sendingResponseFilter;
    std::string receivingResponseFilter;
    std::string sendingRequestRegex;
    std::string sendingRequestFmt;
    std::string sendingResponseRegex;
    std::string sendingResponseFmt;

    bool operator==(const FilterSettings&) const = default;
};

struct CallParkSettings {
    std::string subscribeURI;
    int subscribeExpires = 3600;
    std::string parkFeatureCode;
    std::string parkServer;  // host:port

    bool operator==(const CallParkSettings&) const = default;
};

struct Buddy {
    std::string userID;
    std::string display;

    bool operator==(const Buddy&) const = default;
};

struct PresenceSettings {
    // A bound on BuddyListSize read from a file, so a corrupt size cannot stall loading.
    static constexpr int maxBuddies = 1000;

    std::string subscribeServer;  // host:port
    int subscribeExpires = 3600;
    std::string presentityUserID;
    std::string publishServer;  // host:port
    int publishExpires = 3600;
    std::string presentityDomain;
    std::string presentityTupleID;
    std::string presentityUserDefinedState1;
    std::string presentityUserDefinedState2;
    int presenceInfoSetType = 0;
    std::string pidfExtPrefix = "myext:";
    std::vector<Buddy> buddies;

    bool operator==(const PresenceSettings&) const = default;
};

struct NattSettings {
    bool natTraversal = false;
    std::string externalSIPIPAddress;
    int externalSIPUDPPort = 0;
    int externalSIPTCPPort = 0;
    std::string externalRTPIPAddress;
    int externalRTPPort1 = 0;
    int externalRTPPort2 = 0;
    bool useUPnP = false;
    bool upnpUniCast = false;
    std::string upnpIGDAddress;
    int upnpSSDPTimeoutSec = 3;
    int upnpHTTPConnTimeoutSec = 3;
    int upnpHTTPRecvTimeoutSec = 3;
    int upnpHTTPSendTimeoutSec = 3;
    int upnpAddPortLeaseDuration = 0;

    bool operator==(const NattSettings&) const = default;
};

// The free-form request form. Headers and content may span lines.
struct SendReqSettings {
    int sendReqMethod = 0;  // index into the request form's method list
    int sendReqInDialog = 0;
    std::string sendReqURI;
    std::string sendReqHostPort;
    std::string sendReqFrom;
    std::string sendReqTo;
    std::string sendReqCallID;
    std::string sendReqContact;
    int sendReqCSeq = 1;
    std::string sendReqHeaders;
    int sendReqUseContact = 0;
    std::string sendReqContentType;
    int sendReqContentCharCode = 0;
    std::string sendReqContent;

    bool operator==(const SendReqSettings&) const = default;
};

// Repeated calls: the call is ended TalkTime after the answer and placed again CallingInterval
// after it ended.
struct AutoSettings {
    int callingInterval = 0;
    int talkTime = 0;

    bool operator==(const AutoSettings&) const = default;
};

// The call form of the window with its history lists, and the window's appearance.
struct LocalSettings {
    std::string inviteURIScheme = "sip";
    std::string inviteURIUserInfo = "user";
    std::string inviteURIDomain;
    int useInviteHostPort = 0;
    std::string inviteHostPort = "host:port";
    int useInviteTo = 0;
    std::string inviteTo = "\"Name\" <sip:userinfo@domain>";
    int useInviteFrom = 0;
    std::string inviteFrom = "\"Name\" <sip:userinfo@domain>";
    int privacyMode = 0;
    bool corvaneMode = false;
    long backgroundColor = -1;  // 0xBBGGRR; -1 = default background
    int backgroundAlpha = 255;  // below 255 the window is that opaque
    bool messageCaptor = true;
    bool dialogTopMost = false;

    // History lists, newest first, at most NumOfHistory entries each.
    std::vector<std::string> inviteURIUserInfoHistory;
    std::vector<std::string> inviteURIDomainHistory;
    std::vector<std::string> inviteHostPortHistory;
    std::vector<std::string> inviteToHistory;
    std::vector<std::string> inviteFromHistory;

    bool operator==(const LocalSettings&) const = default;
};

struct WindowSettings {
    int windowPositionLeft = 0;  // both 0 or less: the position is left alone
    int windowPositionTop = 0;

    bool operator==(const WindowSettings&) const = default;
};

// Extra header lines added to each kind of message; the order is that of kinds().
struct HeaderSettings {
    static constexpr std::size_t kindCount = 13;
    // "Invite", "InviteResponse", ..., "UpdateRespons": the prefixes of the keys.
    static const std::array<const char*, kindCount>& kinds();

    std::array<std::string, kindCount> additionalHeaders{};

    bool operator==(const HeaderSettings&) const = default;
};

// What the SDP of one kind of message holds. Text forms: MediaFormat and AdditionalMediaFormats
// are payload type numbers separated by blanks; AdditionalAttributes one attribute per line
// ("name" or "name:value"); RTPMap one "payload-type encoding/clock-rate[/parameters]" per line.
struct SdpProfile {
    bool setSDP = false;
    bool isFreeFormat = false;
    std::string freeFormatSDP;
    std::string contentType;
    std::string originUser;
    int originSessionID = 0;
    int originVersion = 0;
    bool setOriginSessionID = false;
    bool setOriginVersion = false;
    bool incrementSDPOriginVersion = false;
    std::string originAddress;
    std::string connectionAddress;
    int connectionPort = -1;  // -1 = the leg's RTP port
    int connectionMode = 0;   // 0 none, 1 sendrecv, 2 sendonly, 3 recvonly, 4 inactive
    int connectionPTime = 0;  // 0 = none
    int connectionCODEC = 0;  // payload type
    std::string additionalAttributes;
    std::string additionalMediaFormats;
    bool useRTPMap = false;
    bool negotiateRTPMap = false;
    std::string rtpMap;
    std::string mediaFormat;

    bool operator==(const SdpProfile&) const = default;
};

struct SdpSettings {
    static constexpr std::size_t profileCount = 19;
    // "1st", "2nd", "hold", "Invite", ..., "18xProgram6": the prefixes of the keys.
    static const std::array<const char*, profileCount>& profileNames();
    // The profile's defaults, which differ by profile.
    static SdpProfile defaultProfile(std::size_t index);

    SdpSettings();

    std::array<SdpProfile, profileCount> profiles;

    bool operator==(const SdpSettings&) const = default;
};

struct Settings {
    BasicSettings basic;
    ExtensionSettings extension;
    OptionSettings option;
    SipSettings sip;
    LogSettings log;
    SoundSettings sound;
    ResponseSettings response;
    OtherSettings other;
    FilterSettings filter;
    CallParkSettings callPark;
    PresenceSettings presence;
    NattSettings natt;
    SendReqSettings sendReq;
    AutoSettings autoCall;
    LocalSettings local;
    WindowSettings window;
    HeaderSettings header;
    SdpSettings sdp;

    bool operator==(const Settings&) const = default;
};
