#include "kel_util/IniFile.h"

#include "kel_util/Exception.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

using kel_util::IniFile;
using tessaly_test::readFile;
using tessaly_test::TempDir;

TEST(IniFile, FindsSectionsAndKeysWhateverTheirCaseAndSpacing) {
    const IniFile ini("  [ Basic ]  \r\n\tUSER =  alice \r\nserverport=5070\n[sip]\nUser=bob");
    EXPECT_EQ(ini.get("basic", "User"), "alice");
    EXPECT_EQ(ini.get("BASIC", "ServerPort"), "5070");
    EXPECT_EQ(ini.get("Sip", "user"), "bob");
    EXPECT_FALSE(ini.get("Basic", "Password"));
    EXPECT_FALSE(ini.get("Other", "User"));
}

// Editors on Windows start a UTF-8 file with a byte order mark; it once hid the first section,
// whose keys were then read as absent and written again in a second section of that name.
TEST(IniFile, ByteOrderMarkDoesNotHideTheFirstSectionAndIsKept) {
    IniFile ini("\xEF\xBB\xBF[Basic]\r\nUser=alice\r\n");
    EXPECT_EQ(ini.get("Basic", "User"), "alice");
    ini.set("Basic", "User", "bob");
    EXPECT_EQ(ini.text(), "\xEF\xBB\xBF[Basic]\nUser=bob\n");
}

TEST(IniFile, FirstOfRepeatedKeysCountsAndEmptyValueIsPresent) {
    const IniFile ini("[A]\nk=1\nk=2\nempty=\n");
    EXPECT_EQ(ini.get("A", "k"), "1");
    EXPECT_EQ(ini.get("A", "empty"), "");
}

TEST(IniFile, CommentsAreNotKeysAndValuesKeepInnerEqualsAndQuotes) {
    const IniFile ini("[A]\n;k=commented\n#j=commented\nk=a=b\nq=\"Name\" <sip:u@d>\n");
    EXPECT_EQ(ini.get("A", "k"), "a=b");
    EXPECT_FALSE(ini.get("A", "j"));
    EXPECT_EQ(ini.get("A", "q"), "\"Name\" <sip:u@d>");
}

TEST(IniFile, SetReplacesInPlaceAndKeepsEverythingElse) {
    IniFile ini("; head\n[A]\nunknown=1\nK = old\n; inside\n\n[B]\nx=y\n");
    ini.set("a", "k", "new");
    EXPECT_EQ(ini.text(), "; head\n[A]\nunknown=1\nk=new\n; inside\n\n[B]\nx=y\n");
}

// Readers that take the last of repeated keys (Python's configparser) once saw the old value.
TEST(IniFile, SetLeavesOneLineOfARepeatedKey) {
    IniFile ini("[A]\nk=1\nj=2\nK=2\n[B]\nk=4\n");
    ini.set("A", "k", "3");
    EXPECT_EQ(ini.text(), "[A]\nk=3\nj=2\n[B]\nk=4\n");
}

TEST(IniFile, SetAddsKeyAtEndOfItsSectionAndNewSectionsAtEndOfFile) {
    IniFile ini("[A]\na=1\n\n[B]\nb=2\n");
    ini.set("A", "c", "3");
    ini.set("C", "d", "4");
    EXPECT_EQ(ini.text(), "[A]\na=1\nc=3\n\n[B]\nb=2\n\n[C]\nd=4\n");
}

TEST(IniFile, SetNeverLetsALineBreakSplitTheLine) {
    IniFile ini;
    ini.set("A", "k", "one\r\ntwo\n[B]");
    EXPECT_EQ(ini.get("A", "k"), "one  two [B]");
    EXPECT_FALSE(ini.get("B", "k"));
}

TEST(IniFile, RemoveDeletesOnlyThatKey) {
    IniFile ini("[A]\nk=1\nj=2\n[B]\nk=3\n");
    EXPECT_TRUE(ini.remove("a", "K"));
    EXPECT_FALSE(ini.remove("A", "k"));
    EXPECT_FALSE(ini.remove("C", "k"));
    EXPECT_EQ(ini.text(), "[A]\nj=2\n[B]\nk=3\n");
}

// With a repeated key, removing only the first line let the next one count from then on: a
// setting removed at its default came back with the older value.
TEST(IniFile, RemoveDeletesEveryLineOfARepeatedKey) {
    IniFile ini("[A]\nk=1\nj=2\nK = 3\n");
    EXPECT_TRUE(ini.remove("A", "k"));
    EXPECT_FALSE(ini.get("A", "k"));
    EXPECT_EQ(ini.text(), "[A]\nj=2\n");
}

TEST(IniFile, MissingFileReadsAsEmpty) {
    TempDir dir;
    EXPECT_EQ(IniFile::read(dir.file("none.ini")).text(), "");
}

TEST(IniFile, UnreadablePathThrowsFileException) {
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0755), 0);
    EXPECT_THROW(IniFile::read(dir.file("sub")), kel_util::FileException);
    EXPECT_THROW(IniFile().write(dir.file("missing/x.ini")), kel_util::FileException);
}

TEST(IniFile, WriteThenReadGivesTheSameFileAndLeavesNoTemporary) {
    TempDir dir;
    IniFile ini("[A]\r\nk=v\r\n");
    ini.set("A", "j", "w");
    ini.write(dir.file("c.ini"));
    EXPECT_EQ(readFile(dir.file("c.ini")), "[A]\nk=v\nj=w\n");
    EXPECT_EQ(IniFile::read(dir.file("c.ini")).get("A", "j"), "w");
    EXPECT_NE(::access(dir.file("c.ini.tmp").c_str(), F_OK), 0);
}

TEST(IniFile, WriteKeepsTheFileModeAndWritesThroughSymbolicLinks) {
    TempDir dir;
    tessaly_test::writeFile(dir.file("real.ini"), "[A]\nk=1\n");
    ASSERT_EQ(::chmod(dir.file("real.ini").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("real.ini", dir.file("link.ini").c_str()), 0);
    IniFile ini = IniFile::read(dir.file("link.ini"));
    ini.set("A", "k", "2");
    ini.write(dir.file("link.ini"));
    EXPECT_EQ(readFile(dir.file("real.ini")), "[A]\nk=2\n");
    struct stat st {};
    ASSERT_EQ(::lstat(dir.file("link.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(dir.file("real.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}
