#include "kel_util/Decimal.h"

namespace kel_util {

std::optional<std::int64_t> parseDecimal(std::string_view text, std::int64_t min, std::int64_t max) noexcept {
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    constexpr std::uint64_t limit = static_cast<std::uint64_t>(INT64_MAX);
    for (unsigned char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const std::uint64_t digit = c - '0';
        if (value > (limit - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    const auto result = static_cast<std::int64_t>(value);
    if (result < min || result > max) return std::nullopt;
    return result;
}

}  // namespace kel_util
