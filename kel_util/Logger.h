// The logger: every diagnostic line of the system goes to a set of rotating text files,
// directory/prefix<index>extension, where index 0 is the active file and the highest index
// kept is the oldest. Lines can go straight to the file or through a memory buffer that the
// logger's own thread flushes by size and by interval.
//
// The process-wide logger behind logPrint/logDump (Log.h) is one instance; tests construct
// their own. All operations may be called from any thread; every write is serialised on the
// logger lock, so lines never interleave. A file that cannot be opened or written is reported
// once on standard error; the lost lines still count toward the size threshold, and reaching
// it retries the rotation, so logging resumes once the cause is gone.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "kel_util/Cond.h"
#include "kel_util/Exception.h"
#include "kel_util/Thread.h"

namespace kel_util {

struct LogSettings {
    int level = 4;               // 0 (CRI) to 7 (DEV)
    int bufferThreshold = 0;     // bytes; 0 or less writes every line straight to the file
    int flushMilliseconds = 0;   // period of the buffer flush; 0: no buffering
    std::string directory;       // empty: file names without a directory
    std::string prefix;          // prefix and extension both empty: no file at all
    std::string extension;       // dot included
    int indexMax = 0;            // highest file index kept; below 0 counts as 0
    long fileSizeThreshold = 0;  // rotate when the active file grows beyond this many bytes
    bool append = false;         // keep the existing active file instead of rotating at start
    bool echo = false;           // also write every line to standard output
    bool newline = false;        // append "\n" to every formatted line
};

class Logger : public Thread {
public:
    static constexpr std::size_t kLineSize = 1024;

    Logger();
    // Closes the logger; never throws.
    ~Logger() override;

    // Starts logging with these settings: rotates the files unless appending, opens the active
    // file, starts the flush thread when buffering with a positive interval, then writes the
    // start banner and the level lines. false when already initialised. Throws FileException
    // when the file cannot be opened; the logger is then initialised without a file and
    // retries at rotation time.
    bool init(const LogSettings& settings);
    // Stops the flush thread (flushing the buffer) and closes the file.
    void close();

    int level() const noexcept { return level_.load(std::memory_order_relaxed); }
    void setLevel(int level) noexcept { level_.store(level, std::memory_order_relaxed); }
    bool isLogged(int level) const noexcept { return level <= this->level(); }
    void setShowThreadName(bool on);
    void setShowThreadId(bool on);

    // One formatted line, prefixed with time, level tag and (if shown) thread. Cut to
    // kLineSize bytes; a cut line whose format ends in "\n" still ends in "\n".
    void print(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void vprint(int level, const char* format, va_list arguments);
    // header as one line, then each line of data behind marker: "\r\n" and "\n" end a line,
    // a zero byte is written as "0", a line too long for kLineSize continues on the next.
    void dump(int level, const char* data, int length, const char* header, const char* marker);

    // The flush thread's body.
    void run() override;
    void stop() override;

    // The path of the file with this index.
    std::string filePath(int index) const;

private:
    std::size_t formatPrefix(char* line, std::size_t size, int level) const;
    void write(const char* data, std::size_t length) noexcept;
    void writeFile(const char* data, std::size_t length);
    void countAndRotate(std::size_t length);
    void flushBuffer();
    void rotate();
    void renameLogFiles();
    void openFile();
    void closeFile() noexcept;
    void writeStamped(int level, const char* text);
    void reportFailure(const Throwable& error) noexcept;
    void logBanner();

    Cond cond_;  // its mutex is the logger lock, held for every write
    std::atomic<int> level_{-1};
    LogSettings settings_;
    bool fileWanted_ = false;  // initialised with a prefix or extension
    std::atomic<bool> showThreadName_{false};  // read while formatting, outside the lock
    std::atomic<bool> showThreadId_{false};
    std::FILE* file_ = nullptr;
    long written_ = 0;  // bytes written to (or meant for) the active file since it opened
    std::vector<char> buffer_;
    std::size_t bufferUsed_ = 0;
    bool failureReported_ = false;
};

}  // namespace kel_util
