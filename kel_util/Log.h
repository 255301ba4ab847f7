// The process-wide log calls. Every format starts with "Class::operation. " and lines above
// the configured level are dropped at the call, before any lock is taken. Lines go to the
// process-wide Logger (Logger.h); until initLogging nothing is written.
#pragma once

namespace kel_util {

struct LogSettings;

// Log levels; smaller is more severe.
enum LogLevel : int { CRI = 0, MAJ = 1, MIN = 2, NOT = 3, INF = 4, DET = 5, DBG = 6, DEV = 7 };

// The configured level; -1 until logging is initialised, so nothing is written before.
int logLevel() noexcept;
void setLogLevel(int level) noexcept;
inline bool isLogged(int level) noexcept { return level <= logLevel(); }

void logPrint(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes header as one line, then each line of data behind marker ("< " sent, "> " received).
void logDump(int level, const char* data, int length, const char* header, const char* marker);

// Starts the process-wide logger (see Logger::init; throws FileException when the file cannot
// be opened, and logging then resumes at the next rotation). The logger is closed at exit.
bool initLogging(const LogSettings& settings);
// Flushes and closes the process-wide logger; initLogging may follow with new settings.
void closeLogging();

}  // namespace kel_util
