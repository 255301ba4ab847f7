// The process-wide logger behind the log calls.
#include "kel_util/Log.h"

#include <cstdarg>
#include <cstdlib>

#include "kel_util/Logger.h"

namespace kel_util {
namespace {

Logger& processLogger() {
    // Never destroyed: threads may still log while static objects are destroyed at exit.
    static Logger* const instance = new Logger;
    return *instance;
}

}  // namespace

int logLevel() noexcept { return processLogger().level(); }

void setLogLevel(int level) noexcept { processLogger().setLevel(level); }

void logPrint(int level, const char* format, ...) {
    if (!isLogged(level)) return;
    va_list arguments;
    va_start(arguments, format);
    processLogger().vprint(level, format, arguments);
    va_end(arguments);
}

void logDump(int level, const char* data, int length, const char* header, const char* marker) {
    processLogger().dump(level, data, length, header, marker);
}

bool initLogging(const LogSettings& settings) {
    static const bool closedAtExit = std::atexit(closeLogging) == 0;
    (void)closedAtExit;
    return processLogger().init(settings);
}

void closeLogging() { processLogger().close(); }

}  // namespace kel_util
