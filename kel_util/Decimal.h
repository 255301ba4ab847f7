// The one checked decimal conversion for numbers read from the network.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kel_util {

// Digits only (no sign, no blanks), no overflow, within [min, max]; anything else is nullopt.
std::optional<std::int64_t> parseDecimal(std::string_view text, std::int64_t min, std::int64_t max) noexcept;

}  // namespace kel_util
