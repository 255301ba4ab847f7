#include "kel_util/Logger.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>

#include "kel_util/Log.h"

namespace kel_util {
namespace {

const char* const kTags[] = {"CRI", "MAJ", "MIN", "NOT", "INF", "DET", "DBG", "DEV"};

const char* tagOf(int level) { return level >= 0 && level <= 7 ? kTags[level] : "???"; }

bool endsWithNewline(const char* text) {
    const std::size_t length = std::strlen(text);
    return length > 0 && text[length - 1] == '\n';
}

// Bytes of text that fit in line[used..size-1], copied; returns the new used count.
std::size_t appendText(char* line, std::size_t used, std::size_t size, const char* text) {
    while (*text != '\0' && used < size - 1) line[used++] = *text++;
    return used;
}

const char* const kBuildStamp = __DATE__ " " __TIME__;
const char* const kBuildTag = "tessaly";
const char* const kRevision = "Tessaly runtime kernel\n";

}  // namespace

Logger::Logger() = default;

Logger::~Logger() {
    try {
        close();
    } catch (const Throwable& error) {
        reportFailure(error);
    }
}

void Logger::setShowThreadName(bool on) { showThreadName_ = on; }

void Logger::setShowThreadId(bool on) { showThreadId_ = on; }

std::string Logger::filePath(int index) const {
    std::string name = settings_.prefix + std::to_string(index) + settings_.extension;
    return settings_.directory.empty() ? name : settings_.directory + "/" + name;
}

bool Logger::init(const LogSettings& settings) {
    ScopedLock guard(cond_);
    if (file_ != nullptr || !buffer_.empty() || isRunning()) return false;
    settings_ = settings;
    // Below 0 no rotation would ever move the active file away, and it would grow without bound.
    if (settings_.indexMax < 0) settings_.indexMax = 0;
    setLevel(settings.level);
    fileWanted_ = !settings.prefix.empty() || !settings.extension.empty();
    written_ = 0;
    std::optional<FileException> failure;
    if (fileWanted_) {
        try {
            if (!settings.append) renameLogFiles();
            openFile();
        } catch (const FileException& error) {
            reportFailure(error);
            failure = error;
        }
    }
    // A negative threshold would size the buffer below one line: it means no buffering, as 0.
    if (settings.bufferThreshold > 0 && settings.flushMilliseconds > 0) start();
    logBanner();
    if (failure) throw *failure;
    return true;
}

void Logger::logBanner() {
    const LogSettings& s = settings_;
    print(DET,
          "Logger::Logger. Initialized logging log level=%d, buff threshold=%d, flush msec=%d, log dir=%s, logfile "
          "prefix=%s, logfile extention=%s, index max=%d, filesize threshold=%ld, append=%d.\n",
          s.level, s.bufferThreshold, s.flushMilliseconds, s.directory.c_str(), s.prefix.c_str(), s.extension.c_str(),
          s.indexMax, s.fileSizeThreshold, s.append ? 1 : 0);
    print(INF, "kel_util make = %s, tag = %s, tls = %s\n", kBuildStamp, kBuildTag, "FALSE");
    if (level() > DET) dump(DBG, kRevision, static_cast<int>(std::strlen(kRevision)), "Dump revision\n", "  ");
    print(DEV, "Log level check, outputting DEVELOP level.\n");
    print(DBG, "Log level check, outputting DEBUG level.\n");
    print(DET, "Log level check, outputting DETAIL level.\n");
    print(NOT, "Log level check, outputting NOTICE level.\n");
    print(INF, "Log level check, outputting INFO level.\n");
}

void Logger::close() {
    stop();
    join();
    ScopedLock guard(cond_);
    closeFile();
    fileWanted_ = false;
}

void Logger::stop() {
    ScopedLock guard(cond_);
    Thread::stop();
    cond_.notifyAll();
}

void Logger::print(int level, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vprint(level, format, arguments);
    va_end(arguments);
}

void Logger::vprint(int level, const char* format, va_list arguments) {
    if (!isLogged(level)) return;
    char line[kLineSize];
    std::size_t used = formatPrefix(line, sizeof line, level);
    const int wanted = std::vsnprintf(line + used, sizeof line - used, format, arguments);
    if (wanted > 0) used = std::min(used + static_cast<std::size_t>(wanted), sizeof line - 1);
    const bool cut = wanted > 0 && used == sizeof line - 1;
    if (cut && endsWithNewline(format)) line[used - 1] = '\n';
    ScopedLock guard(cond_);
    if (settings_.newline) {
        if (used < sizeof line - 1) ++used;
        line[used - 1] = '\n';
    }
    write(line, used);
}

void Logger::dump(int level, const char* data, int length, const char* header, const char* marker) {
    if (!isLogged(level)) return;
    ScopedLock guard(cond_);
    char line[kLineSize];
    const std::size_t prefix = formatPrefix(line, sizeof line, level);
    std::size_t headerEnd = appendText(line, prefix, sizeof line - 1, header);
    if (line[headerEnd - 1] != '\n') line[headerEnd++] = '\n';
    write(line, headerEnd);
    const std::size_t start = appendText(line, prefix, sizeof line - 1, marker);
    std::size_t used = start;
    auto endLine = [&] {
        line[used++] = '\n';
        write(line, used);
        used = start;
    };
    for (int i = 0; i < length; ++i) {
        const char c = data[i];
        if (c == '\n') {
            endLine();
        } else if (c != '\r' || i + 1 >= length || data[i + 1] != '\n') {
            if (used >= sizeof line - 2) endLine();  // too long: continues on the next line
            line[used++] = c == '\0' ? '0' : c;
        }
    }
    if (used > start) endLine();
}

std::size_t Logger::formatPrefix(char* line, std::size_t size, int level) const {
    timespec now{};
    std::tm local{};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0 || localtime_r(&now.tv_sec, &local) == nullptr) {
        return static_cast<std::size_t>(std::snprintf(line, size, "[!!!!! Unkown Time !!!!!] %s ", tagOf(level)));
    }
    int used = std::snprintf(line, size, "[%04d/%02d/%02d %02d:%02d:%02d.%03d] %s ", local.tm_year + 1900,
                             local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                             static_cast<int>(now.tv_nsec / 1000000), tagOf(level));
    const bool showName = showThreadName_;
    const bool showId = showThreadId_;
    if (showName || showId) {
        const std::string name = showName ? currentThreadName() : std::string();
        const int id = static_cast<int>(currentThreadId());
        const std::size_t rest = size - static_cast<std::size_t>(used);
        if (showName && showId) {
            used += std::snprintf(line + used, rest, "[%s(%d)] ", name.c_str(), id);
        } else if (showName) {
            used += std::snprintf(line + used, rest, "[%s] ", name.c_str());
        } else {
            used += std::snprintf(line + used, rest, "[%d] ", id);
        }
    }
    return std::min(static_cast<std::size_t>(used), size - 1);
}

void Logger::write(const char* data, std::size_t length) noexcept {
    if (buffer_.empty()) {
        writeFile(data, length);
        countAndRotate(length);
        return;
    }
    if (buffer_.size() < bufferUsed_ + length) flushBuffer();
    std::memcpy(buffer_.data() + bufferUsed_, data, length);
    bufferUsed_ += length;
    if (bufferUsed_ >= static_cast<std::size_t>(settings_.bufferThreshold)) {
        try {
            cond_.notify();
        } catch (const SystemException& error) {
            reportFailure(error);  // the interval flush still comes
        }
    }
}

void Logger::writeFile(const char* data, std::size_t length) {
    if (settings_.echo) std::fwrite(data, 1, length, stdout);
    if (file_ == nullptr) return;
    try {
        if (std::fwrite(data, 1, length, file_) != length) throw FileException(0, "Logger::fwrite, Failed fwrite.");
        if (std::fflush(file_) != 0) throw FileException("Logger::fwrite, Failed fflush.");
        failureReported_ = false;
    } catch (const FileException& error) {
        // The file is given up; the next rotation opens a new one.
        reportFailure(error);
        std::fclose(file_);
        file_ = nullptr;
    }
}

// Bytes that could not be written count too, so that a lost file is retried at rotation time.
void Logger::countAndRotate(std::size_t length) {
    written_ += static_cast<long>(length);
    if (!fileWanted_ || written_ <= settings_.fileSizeThreshold) return;
    try {
        rotate();
    } catch (const FileException& error) {
        reportFailure(error);
    }
}

void Logger::flushBuffer() {
    if (bufferUsed_ == 0) return;
    const std::size_t length = bufferUsed_;
    bufferUsed_ = 0;
    writeFile(buffer_.data(), length);
    countAndRotate(length);
}

void Logger::rotate() {
    closeFile();
    if (!fileWanted_) return;
    renameLogFiles();
    openFile();
}

void Logger::renameLogFiles() {
    if (std::remove(filePath(settings_.indexMax).c_str()) != 0 && errno != ENOENT) {
        throw FileException("Logger::renameLogFiles, remove");
    }
    for (int index = settings_.indexMax - 1; index >= 0; --index) {
        if (std::rename(filePath(index).c_str(), filePath(index + 1).c_str()) != 0 && errno != ENOENT) {
            throw FileException("Logger::renameLogFiles, rename");
        }
    }
}

void Logger::openFile() {
    written_ = 0;
    file_ = std::fopen(filePath(0).c_str(), "ab");
    if (file_ == nullptr) throw FileException("Logger::openFile, fopen");
    if (std::fseek(file_, 0, SEEK_CUR) != 0) {
        const FileException error("Logger::openFile, fseek");
        std::fclose(file_);
        file_ = nullptr;
        throw error;
    }
    writeStamped(INF, "File Opened.\n");
}

void Logger::closeFile() noexcept {
    if (file_ != nullptr) {
        writeStamped(INF, "Closing file.\n");
        if (file_ != nullptr) std::fclose(file_);
        file_ = nullptr;
    }
    written_ = 0;
}

void Logger::writeStamped(int level, const char* text) {
    char line[kLineSize];
    const std::size_t used = appendText(line, formatPrefix(line, sizeof line, level), sizeof line, text);
    writeFile(line, used);
    written_ += static_cast<long>(used);
}

void Logger::reportFailure(const Throwable& error) noexcept {
    if (failureReported_) return;
    failureReported_ = true;
    std::fprintf(stderr, "%s\n", error.toString().c_str());
}

void Logger::run() {
    ScopedLock guard(cond_);
    const std::size_t capacity = static_cast<std::size_t>(settings_.bufferThreshold) + kLineSize;
    print(DBG, "Logger::run. Start logging by buffer, size=%d, flush msec=%d.\n", static_cast<int>(capacity),
          settings_.flushMilliseconds);
    buffer_.assign(capacity, '\0');
    bufferUsed_ = 0;
    while (isRunning()) {
        flushBuffer();
        cond_.wait(settings_.flushMilliseconds);
    }
    flushBuffer();
    buffer_.clear();
    buffer_.shrink_to_fit();
    print(DBG, "Logger::run. Stop logging by buffer.\n");
}

}  // namespace kel_util
