#include "kel_util/XMLText.h"

#include <cstdint>

namespace kel_util {
namespace {

// The C0 controls that XML 1.0 Char leaves out: all but HT, LF and CR.
constexpr bool isForbiddenControl(unsigned char c) noexcept { return c < 0x20 && c != '\t' && c != '\n' && c != '\r'; }

constexpr bool isXMLChar(std::uint32_t c) noexcept {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

int digitValue(char c, int base) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The code point of "#" digits or "#x" hex digits; a value past U+10FFFF stops the
// accumulation early, so no length of digits can overflow.
bool characterReference(std::string_view body, std::uint32_t& value) {
    int base = 10;
    body.remove_prefix(1);
    if (!body.empty() && body.front() == 'x') {
        base = 16;
        body.remove_prefix(1);
    }
    if (body.empty()) return false;
    value = 0;
    for (const char c : body) {
        const int digit = digitValue(c, base);
        if (digit < 0) return false;
        value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
        if (value > 0x10FFFF) return false;
    }
    return isXMLChar(value);
}

bool appendReference(std::string_view body, std::string& out) {
    if (body == "amp") {
        out += '&';
    } else if (body == "lt") {
        out += '<';
    } else if (body == "gt") {
        out += '>';
    } else if (body == "quot") {
        out += '"';
    } else if (body == "apos") {
        out += '\'';
    } else if (!body.empty() && body.front() == '#') {
        std::uint32_t value = 0;
        if (!characterReference(body, value)) return false;
        appendUtf8(out, value);
    } else {
        return false;
    }
    return true;
}

}  // namespace

void appendXMLEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            case '\t': out += "&#9;"; break;
            case '\n': out += "&#10;"; break;
            case '\r': out += "&#13;"; break;
            default:
                if (!isForbiddenControl(static_cast<unsigned char>(c))) out += c;
        }
    }
}

std::string escapeXML(std::string_view text) {
    std::string out;
    appendXMLEscaped(out, text);
    return out;
}

bool decodeXMLText(std::string_view raw, std::string& out) {
    out.clear();
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (isForbiddenControl(static_cast<unsigned char>(c))) return false;
        if (c != '&') {
            out += c;
            continue;
        }
        // A reference's body runs to the next ";"; one that is no known form fails the text.
        const size_t semicolon = raw.find(';', i + 1);
        if (semicolon == std::string_view::npos) return false;
        if (!appendReference(raw.substr(i + 1, semicolon - i - 1), out)) return false;
        i = semicolon;
    }
    return true;
}

}  // namespace kel_util
