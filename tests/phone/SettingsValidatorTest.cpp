#include "phone/SettingsValidator.h"

#include "phone/FilterList.h"

#include <gtest/gtest.h>

#include <functional>

// Readable failures.
void PrintTo(const SettingsFault& f, std::ostream* os) {
    *os << "{page " << static_cast<int>(f.page) << ", " << f.setting << ", \"" << f.message << "\"}";
}

namespace {

// One rule of the sheet: a record that breaks it and one at the edge that keeps it.
struct RuleCase {
    SettingsPage page;
    std::string setting;
    std::string message;
    std::function<void(Settings&)> breakIt;
    std::function<void(Settings&)> keepIt;
};

const std::vector<RuleCase>& ruleCases() {
    static const std::vector<RuleCase> cases = {
        {SettingsPage::Basic, "ServerPort", "Invalid server port!", [](Settings& s) { s.basic.serverPort = 65536; },
         [](Settings& s) { s.basic.serverPort = 65535; }},
        {SettingsPage::Sound, "AudioDevice", "Invalid audio device!",
         [](Settings& s) { s.sound.audioDevice = "file:in.wav"; },
         [](Settings& s) { s.sound.audioDevice = "file:in.wav,out.wav"; }},
        {SettingsPage::Sound, "AudioDevice", "Invalid audio device!",
         [](Settings& s) { s.sound.audioDevice = "stuck"; },  // for tests, through the environment only
         [](Settings& s) { s.sound.audioDevice = "alsa:hw:1,0"; }},
        {SettingsPage::Extension, "LocalAddress", "Invalid local address!",
         [](Settings& s) { s.extension.localAddress = "Bob <sip:bob@host"; },
         [](Settings& s) { s.extension.localAddress = "\"Bob\" <sip:bob@host;transport=tcp>"; }},
        {SettingsPage::Extension, "ContactAddress", "Invalid contact address!",
         [](Settings& s) { s.extension.contactAddress = "<sip:bob@host:99999>"; },
         [](Settings& s) { s.extension.contactAddress = "sip:bob@10.0.0.1:5062"; }},
        {SettingsPage::Extension, "RegisterURI", "Invalid register URI!",
         [](Settings& s) { s.extension.registerURI = "sip:"; },
         [](Settings& s) { s.extension.registerURI = "sip:registrar.example.com"; }},
        {SettingsPage::Extension, "RegisterExpires", "Invalid register expires!",
         [](Settings& s) { s.extension.registerExpires = -2; }, [](Settings& s) { s.extension.registerExpires = -1; }},
        {SettingsPage::Extension, "RegisterQValue", "Invalid register Q value!",
         [](Settings& s) { s.extension.registerQValue = 1.0001; },
         [](Settings& s) { s.extension.registerQValue = 1.0; }},
        {SettingsPage::Extension, "RegisterQValue", "Invalid register Q value!",
         [](Settings& s) { s.extension.registerQValue = -0.1; },
         [](Settings& s) { s.extension.registerQValue = 0.001; }},
        {SettingsPage::Extension, "OutBoundProxy", "Invalid outband proxy!",
         [](Settings& s) { s.extension.outBoundProxy = "proxy:70000"; },
         [](Settings& s) { s.extension.outBoundProxy = "[::1]:5060"; }},
        {SettingsPage::Option, "MinSE", "Please input the value from 0 to 2147483647 to SessionExpires in Orig.",
         [](Settings& s) { s.option.minSE = -2; }, [](Settings& s) { s.option.minSE = 2147483647; }},
        {SettingsPage::Option, "OrigSessionExpires",
         "Please input the value from 0 to 2147483647 to SessionExpires in Orig.",
         [](Settings& s) { s.option.origSessionExpires = -2; }, [](Settings& s) { s.option.origSessionExpires = 0; }},
        {SettingsPage::Option, "TermSessionExpires",
         "Please input the value from 0 to 2147483647 to SessionExpires in Term.",
         [](Settings& s) { s.option.termSessionExpires = -5; }, [](Settings& s) { s.option.termSessionExpires = 90; }},
        {SettingsPage::Sip, "SipUDPPort", "", [](Settings& s) { s.sip.sipUDPPort = 0; },
         [](Settings& s) { s.sip.sipUDPPort = 1; }},
        {SettingsPage::Sip, "SipTCPPort", "", [](Settings& s) { s.sip.sipTCPPort = 65536; },
         [](Settings& s) { s.sip.sipTCPPort = 65535; }},
        {SettingsPage::Sip, "DefaultSipTransportType", "", [](Settings& s) { s.sip.defaultSipTransportType = 3; },
         [](Settings& s) { s.sip.defaultSipTransportType = 2; }},
        {SettingsPage::Sip, "TimetT2", "", [](Settings& s) { s.sip.timerT2 = 0; },
         [](Settings& s) { s.sip.timerT2 = 1; }},
        {SettingsPage::Sip, "TimerTCancelTimeout", "", [](Settings& s) { s.sip.timerTCancelTimeout = -1; },
         [](Settings& s) { s.sip.timerTCancelTimeout = 1; }},
        {SettingsPage::Sip, "TCPConnectionTimeoutSec", "", [](Settings& s) { s.sip.tcpConnectionTimeoutSec = -1; },
         [](Settings& s) { s.sip.tcpConnectionTimeoutSec = 0; }},
        {SettingsPage::Sip, "TCPAcceptTOMSec", "", [](Settings& s) { s.sip.tcpAcceptTOMSec = 0; },
         [](Settings& s) { s.sip.tcpAcceptTOMSec = 1; }},
        {SettingsPage::Sip, "InitialLocalSeqNo", "Please set -1 to 'Initial Local Seq No' for random",
         [](Settings& s) { s.sip.initialLocalSeqNo = -2; }, [](Settings& s) { s.sip.initialLocalSeqNo = -1; }},
        {SettingsPage::Log, "LogLevel", "", [](Settings& s) { s.log.logLevel = 8; },
         [](Settings& s) { s.log.logLevel = 7; }},
        {SettingsPage::Log, "LogDir", "", [](Settings& s) { s.log.logDir = "/no/such/tessaly/dir"; },
         [](Settings& s) { s.log.logDir = ""; }},
        {SettingsPage::Log, "LogIndexMax", "Please set from 0 to 100 to 'Max Index'",
         [](Settings& s) { s.log.logIndexMax = 101; }, [](Settings& s) { s.log.logIndexMax = 100; }},
        // Below 1000 bytes nearly every line would rotate and the older files, the log, be lost.
        {SettingsPage::Log, "LogFileSizeThreshold", "", [](Settings& s) { s.log.logFileSizeThreshold = 999; },
         [](Settings& s) { s.log.logFileSizeThreshold = 1000; }},
        {SettingsPage::CallPark, "SubscribeURI", "Invalid subscribe URI!",
         [](Settings& s) { s.callPark.subscribeURI = "sip:park@"; },
         [](Settings& s) { s.callPark.subscribeURI = "sip:park@pbx.example.com"; }},
        {SettingsPage::CallPark, "SubscribeExpires", "Invalid subscribe expires!",
         [](Settings& s) { s.callPark.subscribeExpires = -1; }, [](Settings& s) { s.callPark.subscribeExpires = 0; }},
        {SettingsPage::CallPark, "ParkServer", "Invalid park server!",
         [](Settings& s) { s.callPark.parkServer = "pbx:port"; },
         [](Settings& s) { s.callPark.parkServer = "pbx.example.com:5060"; }},
        {SettingsPage::Presence, "SubscribeExpires", "Invalid subscribe expires!",
         [](Settings& s) { s.presence.subscribeExpires = -1; }, [](Settings& s) { s.presence.subscribeExpires = 0; }},
        {SettingsPage::Presence, "SubscribeServer", "Invalid subscribe server!",
         [](Settings& s) { s.presence.subscribeServer = "[::1"; },
         [](Settings& s) { s.presence.subscribeServer = "10.0.0.1"; }},
        {SettingsPage::Presence, "PublishExpires", "Invalid publish expires!",
         [](Settings& s) { s.presence.publishExpires = -1; }, [](Settings& s) { s.presence.publishExpires = 0; }},
        {SettingsPage::Presence, "PublishServer", "Invalid publish server!",
         [](Settings& s) { s.presence.publishServer = "host:-1"; },
         [](Settings& s) { s.presence.publishServer = "host:0"; }},
        {SettingsPage::Natt, "UPnPIGDAddress", "Invalid IGD!",
         [](Settings& s) { s.natt.useUPnP = s.natt.upnpUniCast = true; },
         [](Settings& s) {
             s.natt.useUPnP = s.natt.upnpUniCast = true;
             s.natt.upnpIGDAddress = "192.168.0.1";
         }},
        {SettingsPage::Natt, "ExternalSIPUDPPort", "Invalid UDP port!",
         [](Settings& s) { s.natt.externalSIPUDPPort = -1; }, [](Settings& s) { s.natt.externalSIPUDPPort = 65535; }},
        {SettingsPage::Natt, "ExternalSIPTCPPort", "Invalid TCP port!",
         [](Settings& s) { s.natt.externalSIPTCPPort = 65536; }, [](Settings& s) { s.natt.externalSIPTCPPort = 0; }},
        {SettingsPage::Natt, "ExternalRTPPort1", "Invalid RTP port 1!",
         [](Settings& s) { s.natt.externalRTPPort1 = 70000; }, [](Settings& s) { s.natt.externalRTPPort1 = 8000; }},
        {SettingsPage::Natt, "ExternalRTPPort2", "Invalid RTP port 2!",
         [](Settings& s) { s.natt.externalRTPPort2 = -3; }, [](Settings& s) { s.natt.externalRTPPort2 = 8002; }},
        {SettingsPage::Header, "UpdateResponsAdditionalHeaders", "Invalid headers.",
         [](Settings& s) { s.header.additionalHeaders[12] = "X-Good: 1\r\nno colon here"; },
         [](Settings& s) { s.header.additionalHeaders[12] = "X-Good: 1\r\nSubject: two\r\n words"; }},
        {SettingsPage::Sdp, "2ndConnectionPort", "Invalid port.",
         [](Settings& s) { s.sdp.profiles[1].connectionPort = 65536; },
         [](Settings& s) { s.sdp.profiles[1].connectionPort = 0; }},
        {SettingsPage::Sdp, "holdConnectionMode", "Invalid connection mode.",
         [](Settings& s) { s.sdp.profiles[2].connectionMode = 5; },
         [](Settings& s) { s.sdp.profiles[2].connectionMode = 1; }},
        {SettingsPage::Sdp, "InviteConnectionPTime", "Invalid ptime.",
         [](Settings& s) { s.sdp.profiles[3].connectionPTime = 101; },
         [](Settings& s) { s.sdp.profiles[3].connectionPTime = 100; }},
        {SettingsPage::Sdp, "180MediaFormat", "Invalid media format.",
         [](Settings& s) { s.sdp.profiles[4].mediaFormat = "0 8 128"; },
         [](Settings& s) { s.sdp.profiles[4].mediaFormat = "0 8 101"; }},
        {SettingsPage::Sdp, "183AdditionalAttributes", "Invalid attribute.",
         [](Settings& s) { s.sdp.profiles[5].additionalAttributes = "ptime:20\r\n:novalue"; },
         [](Settings& s) { s.sdp.profiles[5].additionalAttributes = "ptime:20\r\nsendrecv\r\nfmtp:101 0-15"; }},
        // A lone CR inside a line would end the attribute line early at a peer.
        {SettingsPage::Sdp, "PrAckAdditionalAttributes", "Invalid attribute.",
         [](Settings& s) { s.sdp.profiles[8].additionalAttributes = "ptime:20\rsendrecv"; },
         [](Settings& s) { s.sdp.profiles[8].additionalAttributes = "ptime:20\r\nsendrecv\n"; }},
        {SettingsPage::Sdp, "200ConnectionCODEC", "Invalid CODEC.",
         [](Settings& s) { s.sdp.profiles[6].connectionCODEC = -1; },
         [](Settings& s) { s.sdp.profiles[6].connectionCODEC = 127; }},
        {SettingsPage::Sdp, "18xProgram6RTPMap", "Invalid payload type-CODEC.",
         [](Settings& s) { s.sdp.profiles[18].rtpMap = "0 PCMU/8000\r\n101 telephone-event"; },
         [](Settings& s) { s.sdp.profiles[18].rtpMap = "0 PCMU/8000\r\n101 telephone-event/8000"; }},
        {SettingsPage::Filter, "SendingRequestFilter", "Invalid data.",
         [](Settings& s) { s.filter.sendingRequestFilter = "INVITE,FOO"; },
         [](Settings& s) { s.filter.sendingRequestFilter = "invite, Bye"; }},
        {SettingsPage::Filter, "ReceivingResponseFilter", "Invalid data.",
         [](Settings& s) { s.filter.receivingResponseFilter = "INVITE:99"; },
         [](Settings& s) { s.filter.receivingResponseFilter = "INVITE:180,BYE:0,PUBLISH"; }},
    };
    return cases;
}

}  // namespace

TEST(SettingsValidator, DefaultRecordPassesEveryPage) {
    EXPECT_TRUE(SettingsValidator::check(Settings()).empty());
}

TEST(SettingsValidator, EachRuleFailsWithItsMessageOnlyWhenBroken) {
    for (const RuleCase& rule : ruleCases()) {
        Settings broken;
        rule.breakIt(broken);
        EXPECT_EQ(SettingsValidator::checkPage(rule.page, broken),
                  (SettingsFault{rule.page, rule.setting, rule.message}))
            << rule.setting;
        EXPECT_EQ(SettingsValidator::check(broken),
                  (std::vector<SettingsFault>{{rule.page, rule.setting, rule.message}}))
            << rule.setting;

        Settings kept;
        rule.keepIt(kept);
        EXPECT_EQ(SettingsValidator::check(kept), std::vector<SettingsFault>()) << rule.setting;
    }
}

TEST(SettingsValidator, ReportsTheFirstFailingSettingOfEachPageInPageOrder) {
    Settings s;
    s.extension.outBoundProxy = "host:99999";
    s.extension.registerURI = "sip:";
    s.basic.serverPort = -1;
    s.filter.sendingResponseFilter = "XYZ";
    const auto faults = SettingsValidator::check(s);
    ASSERT_EQ(faults.size(), 3u);
    EXPECT_EQ(faults[0].message, "Invalid server port!");
    EXPECT_EQ(faults[1].setting, "RegisterURI");
    EXPECT_EQ(faults[2].page, SettingsPage::Filter);
}

TEST(SettingsValidator, SessionTimerFieldIsCheckedAsANumberNotByItsLength) {
    EXPECT_EQ(SettingsValidator::parseSessionTimerField(""), -1);
    EXPECT_EQ(SettingsValidator::parseSessionTimerField("0"), 0);
    EXPECT_EQ(SettingsValidator::parseSessionTimerField("2147483647"), 2147483647);
    for (const char* bad : {"2147483648", "9999999999", "4294967296", "-1", "12a", " 90"}) {
        EXPECT_FALSE(SettingsValidator::parseSessionTimerField(bad)) << bad;
    }
}

TEST(FilterList, ParsesMethodsAndStatusesAndRefusesUnknownMethods) {
    EXPECT_EQ(parseFilterList(""), std::vector<FilterListEntry>());
    EXPECT_EQ(parseFilterList(" INVITE : 180 , bye,"), (std::vector<FilterListEntry>{{0, 180}, {3, 0}}));
    EXPECT_EQ(parseFilterList("PUBLISH:0"), (std::vector<FilterListEntry>{{13, 0}}));
    for (const char* bad : {"INVITES", "INVITE:", "INVITE:700", "INVITE:50", "INVITE:1x0", ":180"}) {
        EXPECT_FALSE(parseFilterList(bad)) << bad;
    }
}
