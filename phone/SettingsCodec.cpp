#include "phone/SettingsCodec.h"

#include "kel_util/Decimal.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>

std::string escapeLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string unescapeLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '\\' && (next == 'r' || next == 'n' || next == '\\')) {
            out += next == 'r' ? '\r' : next == 'n' ? '\n' : '\\';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isQuoted(std::string_view text) {
    return text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front();
}

}  // namespace

std::string quoteSettingText(std::string_view text) {
    const bool needsQuotes = !text.empty() && (isBlank(text.front()) || isBlank(text.back()) || isQuoted(text));
    return needsQuotes ? "\"" + std::string(text) + "\"" : std::string(text);
}

std::string unquoteSettingText(std::string_view text) {
    return std::string(isQuoted(text) ? text.substr(1, text.size() - 2) : text);
}

std::optional<int> parseSettingInt(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    const auto value = kel_util::parseDecimal(text, 0, negative ? -static_cast<std::int64_t>(INT_MIN) : INT_MAX);
    if (!value) return std::nullopt;
    return static_cast<int>(negative ? -*value : *value);
}

std::optional<bool> parseSettingBool(std::string_view text) {
    const auto value = parseSettingInt(text);
    if (!value) return std::nullopt;
    return *value != 0;
}

std::optional<double> parseSettingReal(std::string_view text) {
    // from_chars takes no sign "+" and no blanks, and never looks at the locale.
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string formatSettingReal(double value) {
    char buffer[512];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    if (error != std::errc()) return "0.000000";
    return std::string(buffer, end);
}

std::optional<long> parseSettingColor(std::string_view text) {
    if (text == "-1") return -1;
    if (text.empty() || text.size() > 8) return std::nullopt;
    unsigned long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return static_cast<long>(value);
}

std::string formatSettingColor(long value) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%lx", static_cast<unsigned long>(value) & 0xffffffffUL);
    return buffer;
}
