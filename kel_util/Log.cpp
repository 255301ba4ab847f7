// Minimal log sink until the rotating file logger exists: lines go to standard error.
#include "kel_util/Log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace kel_util {
namespace {

std::atomic<int> currentLevel{-1};
std::mutex writeLock;

}  // namespace

int logLevel() noexcept { return currentLevel.load(std::memory_order_relaxed); }

void setLogLevel(int level) noexcept { currentLevel.store(level, std::memory_order_relaxed); }

void logPrint(int level, const char* format, ...) {
    if (!isLogged(level)) return;
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::lock_guard<std::mutex> guard(writeLock);
    std::fputs(line, stderr);
}

void logDump(int level, const char* data, int length, const char* header, const char* marker) {
    if (!isLogged(level)) return;
    std::lock_guard<std::mutex> guard(writeLock);
    std::fputs(header, stderr);
    int start = 0;
    for (int i = 0; i <= length; ++i) {
        if (i < length && data[i] != '\n') continue;
        int end = i;
        if (end > start && data[end - 1] == '\r') --end;
        if (i < length || end > start) {
            std::fputs(marker, stderr);
            for (int k = start; k < end; ++k) std::fputc(data[k] == '\0' ? '0' : data[k], stderr);
            std::fputc('\n', stderr);
        }
        start = i + 1;
    }
}

}  // namespace kel_util
