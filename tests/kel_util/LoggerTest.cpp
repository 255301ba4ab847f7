#include "kel_util/Logger.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "Waiting.h"
#include "kel_util/Log.h"

namespace fs = std::filesystem;
using kel_util::Logger;
using kel_util::LogSettings;

namespace {

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tessaly-logger-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    LogSettings settings(int level = kel_util::INF) const {
        LogSettings s;
        s.level = level;
        s.directory = dir.string();
        s.prefix = "app";
        s.extension = ".log";
        s.indexMax = 2;
        s.fileSizeThreshold = 1000000;
        return s;
    }
    std::string read(int index) const {
        std::ifstream in(dir / ("app" + std::to_string(index) + ".log"), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::vector<std::string> lines(int index) const {
        std::vector<std::string> result;
        std::stringstream text(read(index));
        for (std::string line; std::getline(text, line);) result.push_back(line);
        return result;
    }
    // 200 lines "Line <n>." through a logger that rotates beyond 1000 bytes.
    void writeRotating(int indexMax) const {
        Logger logger;
        LogSettings s = settings();
        s.indexMax = indexMax;
        s.fileSizeThreshold = 1000;
        ASSERT_TRUE(logger.init(s));
        for (int i = 0; i < 200; ++i) logger.print(kel_util::INF, "Test::run. Line %d.\n", i);
        logger.close();
    }
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir;
};

// "[yyyy/mm/dd hh:mm:ss.mmm] TAG " at the start of the line.
bool hasPrefix(const std::string& line) {
    const std::string shape = "[0000/00/00 00:00:00.000] ";
    if (line.size() < shape.size() + 4) return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == '0' ? !std::isdigit(static_cast<unsigned char>(line[i])) : line[i] != shape[i]) return false;
    }
    const std::string tag = line.substr(shape.size(), 4);
    for (const char* known : {"CRI ", "MAJ ", "MIN ", "NOT ", "INF ", "DET ", "DBG ", "DEV "}) {
        if (tag == known) return true;
    }
    return false;
}

}  // namespace

TEST_F(LoggerTest, WritesPrefixedLinesAndDropsLinesAboveTheLevel) {
    Logger logger;
    ASSERT_TRUE(logger.init(settings(kel_util::NOT)));
    EXPECT_FALSE(logger.init(settings())) << "initialised twice";
    logger.print(kel_util::MIN, "Test::run. Failed %d.\n", 7);
    logger.print(kel_util::INF, "Test::run. Dropped.\n");
    logger.close();
    const std::vector<std::string> written = lines(0);
    ASSERT_GE(written.size(), 3U);
    EXPECT_NE(written.front().find("INF File Opened."), std::string::npos) << written.front();
    EXPECT_NE(written.back().find("INF Closing file."), std::string::npos);
    int failed = 0;
    for (const std::string& line : written) {
        EXPECT_TRUE(hasPrefix(line)) << line;
        EXPECT_EQ(line.find("Dropped"), std::string::npos);
        EXPECT_EQ(line.find("outputting INFO"), std::string::npos);
        if (line.find("MIN Test::run. Failed 7.") != std::string::npos) ++failed;
    }
    EXPECT_EQ(failed, 1);
    EXPECT_NE(read(0).find("NOT Log level check, outputting NOTICE level."), std::string::npos);
}

TEST_F(LoggerTest, ThreadNameAndIdAppearWhenAsked) {
    Logger logger;
    ASSERT_TRUE(logger.init(settings()));
    logger.setShowThreadName(true);
    logger.setShowThreadId(true);
    logger.print(kel_util::INF, "Test::run. Named.\n");
    logger.close();
    const std::string expected = "[" + kel_util::currentThreadName() + "(" + std::to_string(gettid()) + ")] Test::run. Named.";
    EXPECT_NE(read(0).find(expected), std::string::npos) << read(0);
}

TEST_F(LoggerTest, LineLongerThanTheBufferIsCutAndStillEndsTheLine) {
    Logger logger;
    ASSERT_TRUE(logger.init(settings()));
    const std::string longText(3000, 'x');
    logger.print(kel_util::INF, "Test::run. %s\n", longText.c_str());
    logger.print(kel_util::INF, "Test::run. After.\n");
    logger.close();
    const std::vector<std::string> written = lines(0);
    auto cut = std::find_if(written.begin(), written.end(), [](const std::string& l) { return l.find("xxx") != std::string::npos; });
    ASSERT_NE(cut, written.end());
    EXPECT_EQ(cut->size() + 1, Logger::kLineSize - 1);  // 1023 bytes with its "\n"
    ASSERT_NE(cut + 1, written.end());
    EXPECT_NE((cut + 1)->find("Test::run. After."), std::string::npos);
}

TEST_F(LoggerTest, DumpSplitsLinesReplacesZeroBytesAndCutsLongLines) {
    Logger logger;
    ASSERT_TRUE(logger.init(settings(kel_util::DBG)));
    std::string data("INVITE sip:a@b SIP/2.0\r\nX: a\0b\n\r\nbody", 37);
    data += std::string(1500, 'y');
    logger.dump(kel_util::DBG, data.data(), static_cast<int>(data.size()), "Sent:\n", "< ");
    logger.close();
    std::vector<std::string> dumped;
    bool header = false;
    for (const std::string& line : lines(0)) {
        if (line.find("DBG Sent:") != std::string::npos) header = true;
        const std::size_t at = line.find("DBG < ");
        if (at != std::string::npos) dumped.push_back(line.substr(at + 6));
    }
    EXPECT_TRUE(header);
    ASSERT_EQ(dumped.size(), 5U);
    EXPECT_EQ(dumped[0], "INVITE sip:a@b SIP/2.0");
    EXPECT_EQ(dumped[1], "X: a0b");
    EXPECT_EQ(dumped[2], "");
    EXPECT_EQ(dumped[3] + dumped[4], "body" + std::string(1500, 'y'));
    EXPECT_LT(dumped[3].size(), Logger::kLineSize);
}

TEST_F(LoggerTest, RotationKeepsIndexMaxPlusOneFilesWithTheNewestAtIndexZero) {
    writeRotating(2);
    EXPECT_EQ(files(), (std::vector<std::string>{"app0.log", "app1.log", "app2.log"}));
    EXPECT_NE(read(0).find("Line 199."), std::string::npos);
    EXPECT_EQ(read(1).find("Line 199."), std::string::npos);
    EXPECT_NE(lines(0).front().find("File Opened."), std::string::npos);
}

// A negative index maximum once kept the active file at rotation, so it grew without bound.
TEST_F(LoggerTest, NegativeIndexMaxRotatesLikeZero) {
    writeRotating(-1);
    EXPECT_EQ(files(), (std::vector<std::string>{"app0.log"}));
    EXPECT_LT(read(0).size(), 2000u);
    EXPECT_NE(read(0).find("Line 199."), std::string::npos);
}

TEST_F(LoggerTest, EveryStartRotatesTheActiveFileUnlessAppending) {
    Logger logger;
    ASSERT_TRUE(logger.init(settings()));
    logger.print(kel_util::INF, "Test::run. First run.\n");
    logger.close();
    ASSERT_TRUE(logger.init(settings()));
    logger.close();
    EXPECT_NE(read(1).find("First run."), std::string::npos);
    EXPECT_EQ(read(0).find("First run."), std::string::npos);
    LogSettings appending = settings();
    appending.append = true;
    ASSERT_TRUE(logger.init(appending));
    logger.print(kel_util::INF, "Test::run. Appended.\n");
    logger.close();
    EXPECT_NE(read(0).find("Appended."), std::string::npos);
    EXPECT_NE(read(1).find("First run."), std::string::npos);
}

TEST_F(LoggerTest, WithoutPrefixAndExtensionNothingReachesTheDisk) {
    Logger logger;
    LogSettings s = settings(kel_util::INF);
    s.prefix.clear();
    s.extension.clear();
    ASSERT_TRUE(logger.init(s));
    logger.print(kel_util::MIN, "Test::run. Nowhere.\n");
    EXPECT_TRUE(logger.isLogged(kel_util::INF));
    EXPECT_FALSE(logger.isLogged(kel_util::DET));
    logger.close();
    EXPECT_TRUE(files().empty());
}

TEST_F(LoggerTest, BufferIsFlushedWhenItReachesItsThreshold) {
    Logger logger;
    LogSettings s = settings();
    s.bufferThreshold = 2000;
    s.flushMilliseconds = 600000;  // the interval never comes within the test
    ASSERT_TRUE(logger.init(s));
    // Until the flush thread has taken its buffer, lines go straight to the file; a line that
    // does not show up at once tells that buffering has begun.
    int probe = 0;
    ASSERT_TRUE(kel_test::eventually([&] {
        logger.print(kel_util::INF, "Test::run. Probe %d.\n", ++probe);
        return read(0).find("Probe " + std::to_string(probe) + ".") == std::string::npos;
    }));
    for (int i = 0; i < 40; ++i) logger.print(kel_util::INF, "Test::run. Buffered line %d.\n", i);
    EXPECT_TRUE(kel_test::eventually([&] { return read(0).find("Buffered line 30.") != std::string::npos; }));
    logger.close();
    EXPECT_NE(read(0).find("Buffered line 39."), std::string::npos) << "close flushes the rest";
}

TEST_F(LoggerTest, BufferIsFlushedByInterval) {
    Logger logger;
    LogSettings s = settings();
    s.bufferThreshold = 1000000;
    s.flushMilliseconds = 20;
    ASSERT_TRUE(logger.init(s));
    logger.print(kel_util::INF, "Test::run. Waiting line.\n");
    EXPECT_TRUE(kel_test::eventually([&] { return read(0).find("Waiting line.") != std::string::npos; }));
    logger.close();
}

TEST_F(LoggerTest, ThresholdWithoutIntervalWritesStraightThrough) {
    Logger logger;
    LogSettings s = settings();
    s.bufferThreshold = 1000000;
    s.flushMilliseconds = 0;
    ASSERT_TRUE(logger.init(s));
    logger.print(kel_util::INF, "Test::run. Direct.\n");
    EXPECT_NE(read(0).find("Direct."), std::string::npos);
    EXPECT_FALSE(logger.isRunning());
    logger.close();
}

// A negative threshold from a hand-edited settings file once sized the buffer below one line,
// and the first long line overran it.
TEST_F(LoggerTest, NegativeThresholdWritesStraightThrough) {
    Logger logger;
    LogSettings s = settings();
    s.bufferThreshold = -1000;
    s.flushMilliseconds = 20;
    ASSERT_TRUE(logger.init(s));
    EXPECT_FALSE(logger.isRunning());
    logger.print(kel_util::INF, "Test::run. Direct %s.\n", std::string(900, 'x').c_str());
    EXPECT_NE(read(0).find("Direct xxx"), std::string::npos);
    logger.close();
}

TEST_F(LoggerTest, ManyThreadsProduceWholeLines) {
    Logger logger;
    LogSettings s = settings();
    s.bufferThreshold = 4096;
    s.flushMilliseconds = 5;
    s.fileSizeThreshold = 100000000;
    ASSERT_TRUE(logger.init(s));
    constexpr int kThreads = 6;
    constexpr int kLines = 400;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&logger, t] {
            for (int i = 0; i < kLines; ++i) logger.print(kel_util::INF, "Test::run. thread=%d line=%d %s.\n", t, i, "abcdefghijklmnopqrstuvwxyz");
        });
    }
    for (auto& thread : threads) thread.join();
    logger.close();
    std::vector<int> next(kThreads, 0);
    int count = 0;
    for (const std::string& line : lines(0)) {
        if (line.find("thread=") == std::string::npos) continue;
        int thread = -1;
        int number = -1;
        char rest[64] = {};
        ASSERT_TRUE(hasPrefix(line)) << line;
        ASSERT_EQ(std::sscanf(line.c_str() + line.find("INF "), "INF Test::run. thread=%d line=%d %63s", &thread, &number, rest), 3)
            << line;
        ASSERT_TRUE(thread >= 0 && thread < kThreads) << line;
        EXPECT_STREQ(rest, "abcdefghijklmnopqrstuvwxyz.") << line;
        EXPECT_EQ(number, next[static_cast<std::size_t>(thread)]++) << "lost or reordered";
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
}

TEST_F(LoggerTest, MissingDirectoryIsReportedOnceAndLoggingResumesAtRotation) {
    Logger logger;
    LogSettings s = settings();
    s.directory = (dir / "later").string();
    s.fileSizeThreshold = 1000;
    ::testing::internal::CaptureStderr();
    EXPECT_THROW(logger.init(s), kel_util::FileException);
    for (int i = 0; i < 30; ++i) logger.print(kel_util::INF, "Test::run. Lost %d.\n", i);
    fs::create_directory(dir / "later");
    for (int i = 0; i < 30; ++i) logger.print(kel_util::INF, "Test::run. Kept %d.\n", i);
    logger.close();
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_NE(errors.find("Logger::openFile, fopen"), std::string::npos) << errors;
    std::ifstream in(dir / "later" / "app0.log");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("Kept 29."), std::string::npos);
}

TEST_F(LoggerTest, FullDiskIsReportedOnceAndANewFileIsOpenedAtRotation) {
    fs::create_symlink("/dev/full", dir / "app0.log");
    Logger logger;
    LogSettings s = settings();
    s.append = true;  // opens the full "file" as it is
    s.fileSizeThreshold = 1000;
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(logger.init(s));
    for (int i = 0; i < 60; ++i) logger.print(kel_util::INF, "Test::run. Line %d.\n", i);
    logger.close();
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_FALSE(fs::is_symlink(dir / "app0.log"));
    EXPECT_NE(read(0).find("Line 59."), std::string::npos);
}

TEST_F(LoggerTest, ProcessWideCallsGoToTheProcessLogger) {
    LogSettings s = settings(kel_util::DBG);
    ASSERT_TRUE(kel_util::initLogging(s));
    EXPECT_TRUE(kel_util::isLogged(kel_util::DBG));
    EXPECT_FALSE(kel_util::isLogged(kel_util::DEV));
    kel_util::logPrint(kel_util::MIN, "Test::run. Through logPrint %d.\n", 1);
    kel_util::logDump(kel_util::DBG, "a\r\nb", 4, "Received:\n", "> ");
    kel_util::closeLogging();
    kel_util::setLogLevel(-1);
    const std::string text = read(0);
    EXPECT_NE(text.find("MIN Test::run. Through logPrint 1."), std::string::npos);
    EXPECT_NE(text.find("DBG > a\n"), std::string::npos);
    EXPECT_NE(text.find("DBG > b\n"), std::string::npos);
    EXPECT_NE(text.find("DBG   Tessaly runtime kernel"), std::string::npos) << "revision dump above DET";
}
