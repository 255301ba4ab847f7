// Small text helpers shared by the RFC 822 utilities. All character tests are locale-free
// ASCII: received text may hold NUL and UTF-8 bytes, which are never white space or letters.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kel_util {

// The C isspace set in the "C" locale: SP, HT, LF, VT, FF, CR.
constexpr bool isAsciiSpace(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Linear white space of RFC 822 (section 3.2.3): SP, HT and the line ends of folding.
constexpr bool isLinearSpace(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

constexpr char toLowerAscii(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::string toLowerAscii(std::string_view text);

// Text without leading and trailing linear white space.
std::string_view trimLinearSpace(std::string_view text) noexcept;

// Cuts text at every delimiter byte. With trimSet (NUL-terminated), each piece loses the bytes
// of the set at both ends; with skipEmpty, empty pieces are dropped. "a,,b," gives "a", "", "b", "".
std::vector<std::string> split(std::string_view text, char delimiter, const char* trimSet = nullptr,
                               bool skipEmpty = false);

// Removes every byte of the NUL-terminated set that is not directly preceded by a backslash
// (the backslash stays).
std::string unquote(std::string_view text, const char* set);

}  // namespace kel_util
