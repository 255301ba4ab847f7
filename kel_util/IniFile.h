// An INI file kept as its lines, so that rewriting it keeps what it does not touch: unknown
// sections and keys, comments, blank lines and their order.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kel_util {

// Sections in square brackets, one "key=value" per line, comments after ";" or "#" at the start
// of a line. Section and key names compare case-insensitively (ASCII fold, no locale); names and
// values are trimmed of blanks and tabs. The first of several equal sections or keys counts.
// Not thread-safe: one owner at a time.
class IniFile {
public:
    IniFile() = default;
    // Splits text into lines (LF, CR LF or CR). A leading UTF-8 byte order mark is set apart
    // and written back by text().
    explicit IniFile(std::string_view text);

    // The file's content; a missing file gives an empty IniFile. Throws FileException for any
    // other failure to read.
    static IniFile read(const std::string& path);
    // Writes to a temporary file beside path and renames it over path, so that a failure never
    // leaves a half-written file; an existing file keeps its mode, and a symbolic link its
    // target. Throws FileException.
    void write(const std::string& path) const;

    std::optional<std::string> get(std::string_view section, std::string_view key) const;
    // Replaces the value of an existing key in place (dropping any repeated lines of it that
    // follow in the section), or adds the key at the end of its section, or adds the section at
    // the end of the file. A line break in value would split the line and corrupt the file, so
    // each CR and LF becomes a blank.
    void set(std::string_view section, std::string_view key, std::string_view value);
    // Removes the key's lines (all of them when it is repeated); false when there was none.
    bool remove(std::string_view section, std::string_view key);

    // The text of the file, every line ended by LF.
    std::string text() const;

private:
    struct Line {
        std::string text;     // as read or as written, without the line end
        std::string section;  // trimmed name when the line opens a section, else empty
        std::string key;      // trimmed name when the line holds a key, else empty
        bool isSection = false;
    };

    static Line parseLine(std::string text);
    // Index of the line that opens the section, or npos.
    std::size_t findSection(std::string_view section) const;
    // Index of the key's first line after sectionLine and before the next section, or npos.
    std::size_t findKey(std::size_t sectionLine, std::string_view key) const;
    // Index one past the last non-blank line of the section that starts at sectionLine.
    std::size_t sectionEnd(std::size_t sectionLine) const;

    std::vector<Line> lines_;
    bool byteOrderMark_ = false;
};

}  // namespace kel_util
