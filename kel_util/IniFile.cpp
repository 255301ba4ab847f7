#include "kel_util/IniFile.h"

#include "kel_util/Exception.h"
#include "kel_util/HeaderField.h"
#include "kel_util/TextUtil.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace kel_util {

namespace {

constexpr std::size_t npos = std::string::npos;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isComment(std::string_view trimmed) noexcept {
    return !trimmed.empty() && (trimmed.front() == ';' || trimmed.front() == '#');
}

// Reads the whole descriptor; throws FileException on error.
std::string readAll(int fd, const std::string& path) {
    std::string content;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) return content;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileException(errno, "IniFile::read. Failed read, path=" + path);
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
}

void writeAll(int fd, const std::string& data, const std::string& path) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileException(errno, "IniFile::write. Failed write, path=" + path);
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

IniFile::IniFile(std::string_view text) {
    byteOrderMark_ = text.starts_with(kByteOrderMark);
    if (byteOrderMark_) text.remove_prefix(kByteOrderMark.size());
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find_first_of("\r\n", start);
        const auto stop = end == std::string_view::npos ? text.size() : end;
        lines_.push_back(parseLine(std::string(text.substr(start, stop - start))));
        if (end == std::string_view::npos) break;
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
}

IniFile IniFile::read(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return IniFile();
        throw FileException(errno, "IniFile::read. Failed open, path=" + path);
    }
    try {
        const std::string content = readAll(fd, path);
        ::close(fd);
        return IniFile(content);
    } catch (...) {
        ::close(fd);
        throw;
    }
}

void IniFile::write(const std::string& path) const {
    // A symbolic link keeps pointing at the file it names: the new content replaces the target.
    std::error_code noTarget;
    const auto canonical = std::filesystem::canonical(path, noTarget);
    const std::string target = noTarget ? path : canonical.string();
    const std::string temporary = target + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw FileException(errno, "IniFile::write. Failed open, path=" + temporary);
    try {
        // The file may hold a password: a file the owner has closed to others stays closed.
        struct stat existing {};
        if (::stat(target.c_str(), &existing) == 0 && ::fchmod(fd, existing.st_mode & 07777) != 0) {
            throw FileException(errno, "IniFile::write. Failed fchmod, path=" + temporary);
        }
        writeAll(fd, text(), temporary);
        if (::fsync(fd) != 0) throw FileException(errno, "IniFile::write. Failed fsync, path=" + temporary);
    } catch (...) {
        ::close(fd);
        ::unlink(temporary.c_str());
        throw;
    }
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        throw FileException(code, "IniFile::write. Failed close, path=" + temporary);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        throw FileException(code, "IniFile::write. Failed rename, path=" + target);
    }
}

IniFile::Line IniFile::parseLine(std::string text) {
    Line line;
    const std::string_view trimmed = trimLinearSpace(text);
    if (!trimmed.empty() && trimmed.front() == '[') {
        const auto close = trimmed.find(']');
        if (close != std::string_view::npos) {
            line.section = std::string(trimLinearSpace(trimmed.substr(1, close - 1)));
            line.isSection = true;
        }
    } else if (!isComment(trimmed)) {
        const auto equals = trimmed.find('=');
        if (equals != std::string_view::npos) line.key = std::string(trimLinearSpace(trimmed.substr(0, equals)));
    }
    line.text = std::move(text);
    return line;
}

std::size_t IniFile::findSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].isSection && equalsIgnoreCase(lines_[i].section, section)) return i;
    }
    return npos;
}

std::size_t IniFile::findKey(std::size_t sectionLine, std::string_view key) const {
    for (std::size_t i = sectionLine + 1; i < lines_.size() && !lines_[i].isSection; ++i) {
        if (!lines_[i].key.empty() && equalsIgnoreCase(lines_[i].key, key)) return i;
    }
    return npos;
}

std::size_t IniFile::sectionEnd(std::size_t sectionLine) const {
    std::size_t end = sectionLine + 1;
    for (std::size_t i = sectionLine + 1; i < lines_.size() && !lines_[i].isSection; ++i) {
        if (!trimLinearSpace(lines_[i].text).empty()) end = i + 1;
    }
    return end;
}

std::optional<std::string> IniFile::get(std::string_view section, std::string_view key) const {
    const auto sectionLine = findSection(section);
    if (sectionLine == npos) return std::nullopt;
    const auto keyLine = findKey(sectionLine, key);
    if (keyLine == npos) return std::nullopt;
    const std::string& text = lines_[keyLine].text;
    return std::string(trimLinearSpace(std::string_view(text).substr(text.find('=') + 1)));
}

void IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
    std::string line = std::string(key) + "=" + std::string(value);
    for (char& c : line) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    auto sectionLine = findSection(section);
    if (sectionLine == npos) {
        if (!lines_.empty() && !trimLinearSpace(lines_.back().text).empty()) lines_.push_back(parseLine({}));
        lines_.push_back(parseLine("[" + std::string(section) + "]"));
        sectionLine = lines_.size() - 1;
    }
    const auto keyLine = findKey(sectionLine, key);
    if (keyLine != npos) {
        lines_[keyLine] = parseLine(std::move(line));
        // Later lines of a repeated key go: readers that take the last one would see them.
        for (auto repeat = findKey(keyLine, key); repeat != npos; repeat = findKey(keyLine, key)) {
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(repeat));
        }
    } else {
        const auto at = static_cast<std::ptrdiff_t>(sectionEnd(sectionLine));
        lines_.insert(lines_.begin() + at, parseLine(std::move(line)));
    }
}

bool IniFile::remove(std::string_view section, std::string_view key) {
    const auto sectionLine = findSection(section);
    if (sectionLine == npos) return false;
    bool removed = false;
    // Every line of the key goes: a repeated one left behind would count from then on.
    for (auto keyLine = findKey(sectionLine, key); keyLine != npos; keyLine = findKey(sectionLine, key)) {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(keyLine));
        removed = true;
    }
    return removed;
}

std::string IniFile::text() const {
    std::string out(byteOrderMark_ ? kByteOrderMark : std::string_view());
    for (const Line& line : lines_) {
        out += line.text;
        out += '\n';
    }
    return out;
}

}  // namespace kel_util
