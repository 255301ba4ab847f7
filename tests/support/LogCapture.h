// Test helper: the process's log lines at level MIN (or the level given) and more severe go to a file of a fresh
// directory for the helper's life.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "kel_util/Log.h"
#include "kel_util/Logger.h"
#include "tests/support/TempDir.h"

namespace tessaly_test {

class LogCapture {
public:
    explicit LogCapture(int level = kel_util::MIN) {
        kel_util::LogSettings settings;
        settings.level = level;
        settings.directory = dir_.path();
        settings.prefix = "test";
        settings.extension = ".log";
        settings.indexMax = 1;
        settings.fileSizeThreshold = 1L << 24;
        EXPECT_TRUE(kel_util::initLogging(settings));
    }
    ~LogCapture() {
        kel_util::closeLogging();
        kel_util::setLogLevel(-1);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Closes the log and reads it.
    std::string text() const {
        kel_util::closeLogging();
        return readFile(dir_.file("test0.log"));
    }

private:
    TempDir dir_;
};

}  // namespace tessaly_test
