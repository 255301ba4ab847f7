#include "phone/SettingsFile.h"

#include "kel_util/IniFile.h"
#include "kel_util/Log.h"
#include "phone/SettingsFields.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using kel_util::IniFile;
using tessaly_test::readFile;
using tessaly_test::TempDir;
using tessaly_test::writeFile;

namespace {

// Gives every field a value that differs from its default and from every other field's value,
// so that a key read into the wrong field or not read at all shows in a round trip.
class Scrambler {
public:
    void section(const char*) {}
    void value(const std::string&, bool& f) { f = !f; }
    void value(const std::string&, int& f) { f = 100000 + ++count_; }
    void value(const std::string&, double& f) { f = 0.125 + f; }
    void value(const std::string& key, std::string& f) { f = key + "-" + std::to_string(++count_) + " \"q\" ;#="; }
    void escaped(const std::string& key, std::string& f) { f = key + "\r\nline 2\\n\r\n"; }
    template <class T>
    void sparse(const std::string& key, T& f, const T&) {
        value(key, f);
    }
    void color(const std::string&, long& f) { f = 0x123456; }
    // Three entries, the NumOfHistory that scrambled() sets.
    void history(const std::string& name, std::vector<std::string>& list, int, bool) {
        list.clear();
        for (int i = 0; i < 3; ++i) list.push_back(name + "-history-" + std::to_string(i));
    }
    void buddies(std::vector<Buddy>& list) { list = {{"alice", "Alice A"}, {"bob", ""}, {"carol", "C"}}; }

private:
    int count_ = 0;
};

Settings scrambled() {
    Settings s;
    Scrambler scrambler;
    SettingsFields::visit(s, scrambler);
    s.other.numOfHistory = 3;
    return s;
}

Settings saveAndLoad(const Settings& settings, const TempDir& dir, bool compactWindow = false) {
    SettingsFile file("config.ini", dir.path());
    EXPECT_TRUE(file.save(settings, compactWindow));
    Settings loaded;
    EXPECT_TRUE(file.load(loaded));
    return loaded;
}

}  // namespace

TEST(SettingsFile, MissingFileGivesTheDocumentedDefaults) {
    TempDir dir;
    Settings s = scrambled();
    ASSERT_TRUE(SettingsFile("none.ini", dir.path()).load(s));
    EXPECT_EQ(s, Settings());
    EXPECT_EQ(s.basic.user, "user");
    EXPECT_EQ(s.extension.registerExpires, 3600);
    EXPECT_TRUE(s.extension.authDigest);
    EXPECT_EQ(s.option.termSessionRefresherType, -1);
    EXPECT_EQ(s.option.origSessionExpires, -1);
    EXPECT_EQ(s.sip.timerT2, 4000);
    EXPECT_EQ(s.sip.tcpConnectionTimeoutSec, 180);
    EXPECT_EQ(s.sip.maxForwards, 70);
    EXPECT_EQ(s.log.logLevel, 4);
    EXPECT_EQ(s.log.logFileSizeThreshold, 5000000);
    EXPECT_EQ(s.response.rejectResponseStatusCode, 403);
    EXPECT_EQ(s.response.update18xTag, -1);
    EXPECT_EQ(s.response.programmable[5].statusCode, 180);
    EXPECT_EQ(s.response.programmable[5].delayMSec, 500);
    EXPECT_EQ(s.other.numOfHistory, 5);
    EXPECT_EQ(s.presence.pidfExtPrefix, "myext:");
    EXPECT_EQ(s.natt.upnpHTTPSendTimeoutSec, 3);
    EXPECT_EQ(s.sendReq.sendReqCSeq, 1);
    EXPECT_EQ(s.local.inviteTo, "\"Name\" <sip:userinfo@domain>");
    EXPECT_EQ(s.local.backgroundColor, -1);
    EXPECT_EQ(s.local.backgroundAlpha, 255);
    EXPECT_TRUE(s.local.messageCaptor);
    EXPECT_EQ(s.sound.audioDevice, "alsa");
}

TEST(SettingsFile, SdpProfilesHaveTheirOwnDefaults) {
    const auto& names = SdpSettings::profileNames();
    ASSERT_EQ(names.size(), 19u);
    EXPECT_STREQ(names[0], "1st");
    EXPECT_STREQ(names[12], "ReInviteResponse");
    EXPECT_STREQ(names[18], "18xProgram6");
    const Settings s;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string name = names[i];
        const SdpProfile& p = s.sdp.profiles[i];
        const bool sdpOn = name == "1st" || name == "2nd" || name == "hold" || name == "Invite" || name == "200" ||
                           name == "EarlyUpdate" || name == "EarlyUpdateResponse";
        EXPECT_EQ(p.setSDP, sdpOn) << name;
        EXPECT_EQ(p.incrementSDPOriginVersion, name == "1st" || name == "2nd" || name == "hold") << name;
        EXPECT_EQ(p.connectionPort, name == "1st" ? 8000 : name == "2nd" ? 8002 : -1) << name;
        EXPECT_EQ(p.connectionMode, name == "hold" ? 4 : 0) << name;
    }
}

TEST(SettingsFile, SaveThenLoadGivesBackEveryField) {
    TempDir dir;
    const Settings original = scrambled();
    ASSERT_NE(original.basic, Settings().basic);
    ASSERT_NE(original.sdp, Settings().sdp);
    const Settings loaded = saveAndLoad(original, dir);
    EXPECT_EQ(loaded.sendReq.sendReqContent, "SendReqContent\r\nline 2\\n\r\n");
    EXPECT_EQ(loaded.local.inviteToHistory.size(), 3u);
    EXPECT_EQ(loaded.presence.buddies, original.presence.buddies);
    EXPECT_EQ(loaded.sdp, original.sdp);
    EXPECT_EQ(loaded, original);
}

// The file drops blanks at the ends of a value and quotes around it; such texts once came back
// changed (a password " pw " as "pw").
TEST(SettingsFile, TextsKeepBlanksAtTheirEndsAndEnclosingQuotes) {
    TempDir dir;
    Settings s;
    s.basic.password = " pw\t";
    s.other.title = "\"quoted\"";
    s.response.rejectResponseReasonPhrase = "'single'";
    s.sendReq.sendReqContent = "  indented\r\nlast ";
    s.local.inviteToHistory = {" <sip:a@b>"};
    s.presence.buddies = {{"\"", "\"\""}};
    EXPECT_EQ(saveAndLoad(s, dir), s);
    // Quotes that a hand-written file puts around a value are not part of it.
    const Settings hand = SettingsFile::read(IniFile("[Basic]\nPassword = \" a b \"\nUser='u'\n"));
    EXPECT_EQ(hand.basic.password, " a b ");
    EXPECT_EQ(hand.basic.user, "u");
}

TEST(SettingsFile, WritesTheKeyNamesOtherToolsExpect) {
    IniFile ini;
    SettingsFile::write(scrambled(), ini, false);
    for (const auto& [section, key] :
         std::vector<std::pair<const char*, const char*>>{{"Sip", "TimetT2"},
                                                          {"Sip", "SetSetViaConnectionSrcPort"},
                                                          {"Sip", "UnEscapeContact"},
                                                          {"Response", "Send18xReasonPhraseProgrammable6"},
                                                          {"Header", "UpdateResponsAdditionalHeaders"},
                                                          {"SDP", "18xProgram6MediaFormat"},
                                                          {"SDP", "EarlyUpdateResponseConnectionPort"},
                                                          {"Presence", "BuddyDisplay2"},
                                                          {"Local", "InviteFrom2"},
                                                          {"Extension", "RegisterQValue"},
                                                          {"Sound", "AudioDevice"}}) {
        EXPECT_TRUE(ini.get(section, key)) << section << "/" << key;
    }
    EXPECT_FALSE(ini.get("Header", "UpdateResponseAdditionalHeaders"));
    EXPECT_EQ(ini.get("Extension", "RegisterQValue"), "0.125000");
    EXPECT_EQ(ini.get("Local", "BackgroundColor"), "123456");
    EXPECT_EQ(ini.get("SendReq", "SendReqContent"), "SendReqContent\\r\\nline 2\\\\n\\r\\n");
}

TEST(SettingsFile, HandWrittenFileWithOddSpacingAndCaseLoads) {
    const Settings s =
        SettingsFile::read(IniFile("; written by hand\r\n"
                                   "  [ basic ]\r\n"
                                   "  user   =   alice  \r\n"
                                   "SERVERPORT=5070\r\n"
                                   "[EXTENSION]\n"
                                   "registerqvalue = 0.5\n"
                                   "RegisterOnStartUp=1\n"
                                   "[sip]\n"
                                   "\tlocaltag\t=\tnull\n"
                                   "[local]\n"
                                   "backgroundcolor = FF00ff\n"
                                   "InviteTo0=\"A\" <sip:a@b>\n"
                                   "InviteTo1=\n"
                                   "InviteTo2 = <sip:c@d>\n"
                                   "InviteTo3=\"\"\n"
                                   "[sendreq]\n"
                                   "SendReqHeaders = X-A: 1\\r\\nX-B: 2\n"
                                   "[sound]\n"
                                   "audiodevice = file:in.wav,out.wav\n"));
    EXPECT_EQ(s.basic.user, "alice");
    EXPECT_EQ(s.basic.serverPort, 5070);
    EXPECT_EQ(s.extension.registerQValue, 0.5);
    EXPECT_TRUE(s.extension.registerOnStartUp);
    EXPECT_EQ(s.sip.localTag, "null");
    EXPECT_EQ(s.local.backgroundColor, 0xff00ff);
    EXPECT_EQ(s.local.inviteToHistory, (std::vector<std::string>{"\"A\" <sip:a@b>", "<sip:c@d>"}));
    EXPECT_EQ(s.sendReq.sendReqHeaders, "X-A: 1\r\nX-B: 2");
    EXPECT_EQ(s.sound.audioDevice, "file:in.wav,out.wav");
}

TEST(SettingsFile, ValueThatDoesNotParseKeepsItsDefault) {
    const Settings s = SettingsFile::read(
        IniFile("[Basic]\nServerPort=50x\n[Extension]\nRegisterQValue=0,5\nAuthDigest=yes\n"
                "[Option]\nMinSE=99999999999\nTermSessionExpires=4294967296\n[Local]\nBackgroundColor=red\n"
                "[Presence]\nBuddyListSize=2000000000\n"));
    EXPECT_EQ(s, Settings());
}

// The file is read before logging starts, so a value not taken was once reported nowhere.
TEST(SettingsFile, ValueNotTakenBeforeLoggingStartsIsReportedOnStandardError) {
    const int level = kel_util::logLevel();
    kel_util::setLogLevel(-1);
    ::testing::internal::CaptureStderr();
    const Settings s = SettingsFile::read(IniFile("[Sip]\nSipUDPPort=50x0\n"));
    const std::string reported = ::testing::internal::GetCapturedStderr();
    kel_util::setLogLevel(level);
    EXPECT_EQ(s.sip.sipUDPPort, 5060);
    EXPECT_NE(reported.find("section=[Sip], key=[SipUDPPort], value=[50x0]"), std::string::npos) << reported;
}

TEST(SettingsFile, HistoryListsHoldAtMostNumOfHistoryEntries) {
    const Settings s =
        SettingsFile::read(IniFile("[Other]\nNumOfHistory=2\n[Local]\nInviteFrom0=a\nInviteFrom1=b\nInviteFrom2=c\n"));
    EXPECT_EQ(s.local.inviteFromHistory, (std::vector<std::string>{"a", "b"}));
}

TEST(SettingsFile, UnknownKeysSectionsAndCommentsSurviveASave) {
    TempDir dir;
    writeFile(dir.file("config.ini"),
         "; top comment\n[Basic]\n# about the user\nUser=old\nFutureKey=keep me\n\n[Future]\na=b\n");
    Settings s;
    s.basic.user = "new";
    SettingsFile file("config.ini", dir.path());
    ASSERT_TRUE(file.save(s, false));
    const std::string text = readFile(dir.file("config.ini"));
    EXPECT_EQ(text.rfind("; top comment\n[Basic]\n# about the user\nUser=new\nFutureKey=keep me\n", 0), 0u) << text;
    const IniFile ini(text);
    EXPECT_EQ(ini.get("Future", "a"), "b");
    EXPECT_EQ(ini.get("basic", "user"), "new");
}

TEST(SettingsFile, LocalKeysAtTheirDefaultsAreNotInTheFile) {
    TempDir dir;
    Settings s;
    saveAndLoad(s, dir);
    IniFile ini = IniFile::read(dir.file("config.ini"));
    for (const char* key : {"CorvaneMode", "BackgroundColor", "BackgroundAlpha", "MessageCaptor", "DialogTopMost"}) {
        EXPECT_FALSE(ini.get("Local", key)) << key;
    }
    EXPECT_TRUE(ini.get("Local", "PrivacyMode"));
}

TEST(SettingsFile, LocalKeySetBackToItsDefaultDoesNotComeBackFromTheFile) {
    TempDir dir;
    Settings s;
    s.local.corvaneMode = true;
    s.local.backgroundColor = 0x00ff00;
    s.local.backgroundAlpha = 128;
    s.local.messageCaptor = false;
    s.local.dialogTopMost = true;
    ASSERT_EQ(saveAndLoad(s, dir).local, s.local);
    ASSERT_EQ(IniFile::read(dir.file("config.ini")).get("Local", "MessageCaptor"), "0");

    s.local = LocalSettings();
    EXPECT_EQ(saveAndLoad(s, dir).local, LocalSettings());
}

TEST(SettingsFile, CompactWindowLeavesTheFullWindowsHistoryListsAlone) {
    TempDir dir;
    Settings full;
    full.local.inviteToHistory = {"full-to"};
    full.local.inviteURIDomainHistory = {"full-domain"};
    saveAndLoad(full, dir);

    Settings compact = full;
    compact.local.inviteToHistory = {"compact-to"};
    compact.local.inviteURIDomainHistory = {"compact-domain"};
    const Settings loaded = saveAndLoad(compact, dir, true);
    EXPECT_EQ(loaded.local.inviteToHistory, (std::vector<std::string>{"full-to"}));
    EXPECT_EQ(loaded.local.inviteURIDomainHistory, (std::vector<std::string>{"compact-domain"}));
}

TEST(SettingsFile, ShorterHistoryListLeavesNoOlderEntriesBehind) {
    TempDir dir;
    Settings s;
    s.local.inviteFromHistory = {"a", "b", "c"};
    saveAndLoad(s, dir);
    s.local.inviteFromHistory = {"z"};
    EXPECT_EQ(saveAndLoad(s, dir).local.inviteFromHistory, (std::vector<std::string>{"z"}));
}

TEST(SettingsFile, NamesAreRelativeToTheExecutableDirectoryUnlessAbsolute) {
    EXPECT_EQ(SettingsFile::resolve("config.ini", "/opt/tessaly"), "/opt/tessaly/config.ini");
    EXPECT_EQ(SettingsFile::resolve("sub/a.ini", "/opt/tessaly/"), "/opt/tessaly/sub/a.ini");
    EXPECT_EQ(SettingsFile::resolve("/etc/a.ini", "/opt/tessaly"), "/etc/a.ini");
    const std::string exeDir = SettingsFile::executableDirectory();
    EXPECT_EQ(SettingsFile(SettingsFile::defaultName, exeDir).path(), exeDir + "/config.ini");
    struct stat st {};
    EXPECT_EQ(::stat((exeDir + "/test_phone").c_str(), &st), 0) << exeDir;
}

TEST(SettingsFile, SaveAsAndOpenChangeTheCurrentFile) {
    TempDir dir;
    SettingsFile file("config.ini", dir.path());
    Settings s;
    s.basic.user = "saved-as";
    ASSERT_TRUE(file.saveAs("other.ini", s, false));
    EXPECT_EQ(file.path(), dir.file("other.ini"));
    s.basic.user = "later";
    ASSERT_TRUE(file.save(s, false));
    EXPECT_EQ(SettingsFile::read(IniFile::read(dir.file("other.ini"))).basic.user, "later");
    EXPECT_NE(::access(dir.file("config.ini").c_str(), F_OK), 0);

    Settings opened;
    SettingsFile second("config.ini", dir.path());
    ASSERT_TRUE(second.open(dir.file("other.ini"), opened));
    EXPECT_EQ(opened.basic.user, "later");
    EXPECT_EQ(second.path(), dir.file("other.ini"));
}

TEST(SettingsFile, FailedOpenOrSaveAsKeepsTheCurrentFile) {
    TempDir dir;
    SettingsFile file("config.ini", dir.path());
    Settings s = scrambled();
    EXPECT_FALSE(file.open("missing.ini", s));
    EXPECT_EQ(s, scrambled());
    EXPECT_FALSE(file.saveAs("no-such-dir/x.ini", s, false));
    EXPECT_EQ(file.path(), dir.file("config.ini"));
}
