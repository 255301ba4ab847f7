// A set of bytes for scanning received text. std::string_view::find_first_of calls memchr on
// the set for every byte of the text; on short header fields that per-byte call is most of the
// parsing time, so the set is a table of 256 flags tested with one load per byte instead.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace kel_util {

class CharSet {
public:
    /// The set of the bytes of members (built at compile time when members is a literal).
    constexpr explicit CharSet(std::string_view members) noexcept {
        for (const char c : members) member_[static_cast<unsigned char>(c)] = true;
    }

    constexpr bool contains(char c) const noexcept { return member_[static_cast<unsigned char>(c)]; }

    /// Position of the first byte of text at or after pos that is in the set, or npos.
    constexpr size_t findIn(std::string_view text, size_t pos = 0) const noexcept {
        for (; pos < text.size(); ++pos) {
            if (contains(text[pos])) return pos;
        }
        return std::string_view::npos;
    }

    /// True when some byte of text is in the set.
    constexpr bool anyIn(std::string_view text) const noexcept { return findIn(text) != std::string_view::npos; }

private:
    std::array<bool, 256> member_{};
};

}  // namespace kel_util
