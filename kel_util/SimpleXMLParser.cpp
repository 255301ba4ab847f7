#include "kel_util/SimpleXMLParser.h"

#include <cstring>

#include "kel_util/HeaderField.h"
#include "kel_util/XMLText.h"

namespace kel_util {
namespace {

// White space of XML 1.0 section 2.3 (S).
constexpr bool isXMLSpace(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Bytes that end an element name (and, with "=", an attribute name).
constexpr bool endsName(char c) noexcept { return isXMLSpace(c) || c == '/' || c == '>'; }

// Bytes that can never be part of a name, so that a node prints back to the same document.
bool isBadNameByte(char c) noexcept { return c == '<' || c == '&' || c == '"' || c == '\'' || c == '='; }

bool isName(std::string_view name) noexcept {
    if (name.empty()) return false;
    for (const char c : name) {
        if (isBadNameByte(c)) return false;
    }
    return true;
}

std::string_view trimXMLSpace(std::string_view text) noexcept {
    while (!text.empty() && isXMLSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isXMLSpace(text.back())) text.remove_suffix(1);
    return text;
}

int lengthOf(std::string_view text) { return static_cast<int>(text.size()); }

}  // namespace

void SimpleXMLParser::startElement(const char*, int) {}
void SimpleXMLParser::endElement(const char*, int) {}
void SimpleXMLParser::attribute(const char*, int, const char*, int, const char*, int) {}
void SimpleXMLParser::text(const char*, int, const char*, int) {}

std::string_view SimpleXMLParser::localName(std::string_view name) noexcept {
    const size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool SimpleXMLParser::hasLocalName(std::string_view element, std::string_view name) noexcept {
    return equalsIgnoreCase(localName(element), name);
}

bool SimpleXMLParser::parse(const char* data, int length) {
    if (data == nullptr || length < 0 || length > kMaxLength) return false;
    pos_ = data;
    end_ = data + length;
    bool haveRoot = false;
    for (;;) {
        pos_ = static_cast<const char*>(std::memchr(pos_, '<', static_cast<size_t>(end_ - pos_)));
        if (pos_ == nullptr) return haveRoot;
        if (startsWith("<?") || startsWith("<!")) {
            if (!skipMarkup()) return false;
        } else {
            // XML 1.0 section 2.1: exactly one root element.
            if (haveRoot) return false;
            haveRoot = true;
            ++pos_;
            if (!parseElement(1)) return false;
        }
        skipSpace();
    }
}

void SimpleXMLParser::skipSpace() {
    while (pos_ < end_ && isXMLSpace(*pos_)) ++pos_;
}

bool SimpleXMLParser::startsWith(std::string_view prefix) const {
    return static_cast<size_t>(end_ - pos_) >= prefix.size() && std::memcmp(pos_, prefix.data(), prefix.size()) == 0;
}

bool SimpleXMLParser::skipMarkup() {
    const std::string_view rest(pos_, static_cast<size_t>(end_ - pos_));
    std::string_view close = ">";
    size_t from = 2;
    if (rest.starts_with("<?")) {
        close = "?>";
    } else if (rest.starts_with("<!--")) {
        close = "-->";
        from = 4;
    }
    const size_t at = rest.find(close, from);
    if (at == std::string_view::npos) return false;
    pos_ += at + close.size();
    return true;
}

bool SimpleXMLParser::parseElement(int depth) {
    if (depth > kMaxDepth) return false;
    const char* const nameStart = pos_;
    while (pos_ < end_ && !endsName(*pos_)) ++pos_;
    const std::string_view name(nameStart, static_cast<size_t>(pos_ - nameStart));
    if (!isName(name)) return false;
    skipSpace();
    if (pos_ >= end_) return false;
    startElement(name.data(), lengthOf(name));
    bool empty = false;
    if (!parseAttributes(name, empty)) return false;
    if (!empty && !parseContent(name, depth)) return false;
    endElement(name.data(), lengthOf(name));
    return true;
}

bool SimpleXMLParser::parseAttributes(std::string_view element, bool& empty) {
    for (;;) {
        if (pos_ >= end_) return false;
        if (*pos_ == '>') {
            ++pos_;
            return true;
        }
        if (*pos_ == '/') {
            if (end_ - pos_ < 2 || pos_[1] != '>') return false;
            pos_ += 2;
            empty = true;
            return true;
        }
        // XML 1.0 section 3.1: Name Eq AttValue, Eq being "=" with optional white space.
        const char* const nameStart = pos_;
        while (pos_ < end_ && !endsName(*pos_) && *pos_ != '=') ++pos_;
        const std::string_view name(nameStart, static_cast<size_t>(pos_ - nameStart));
        if (!isName(name)) return false;
        skipSpace();
        if (pos_ >= end_ || *pos_ != '=') return false;
        ++pos_;
        skipSpace();
        if (pos_ >= end_ || *pos_ != '"') return false;
        const char* const valueStart = ++pos_;
        const void* const quote = std::memchr(pos_, '"', static_cast<size_t>(end_ - pos_));
        if (quote == nullptr) return false;
        pos_ = static_cast<const char*>(quote) + 1;
        std::string_view value;
        if (!decode(std::string_view(valueStart, static_cast<size_t>(pos_ - 1 - valueStart)), value)) return false;
        attribute(element.data(), lengthOf(element), name.data(), lengthOf(name), value.data(), lengthOf(value));
        skipSpace();
    }
}

bool SimpleXMLParser::parseContent(std::string_view element, int depth) {
    skipSpace();
    if (pos_ >= end_) return false;
    if (*pos_ == '<') {
        while (!startsWith("</")) {
            if (pos_ >= end_ || *pos_ != '<') return false;
            ++pos_;
            if (!parseElement(depth + 1)) return false;
            skipSpace();
        }
    } else {
        const char* const textStart = pos_;
        const void* const open = std::memchr(pos_, '<', static_cast<size_t>(end_ - pos_));
        if (open == nullptr) return false;
        pos_ = static_cast<const char*>(open);
        std::string_view value;
        if (!decode(std::string_view(textStart, static_cast<size_t>(pos_ - textStart)), value)) return false;
        // Trimmed after decoding, so that a value prints and reads back the same.
        value = trimXMLSpace(value);
        if (!value.empty()) text(element.data(), lengthOf(element), value.data(), lengthOf(value));
    }
    return parseEndTag(element);
}

bool SimpleXMLParser::parseEndTag(std::string_view element) {
    if (!startsWith("</")) return false;
    pos_ += 2;
    if (!startsWith(element)) return false;
    pos_ += element.size();
    skipSpace();
    if (pos_ >= end_ || *pos_ != '>') return false;
    ++pos_;
    return true;
}

bool SimpleXMLParser::decode(std::string_view raw, std::string_view& value) {
    if (!decodeXMLText(raw, scratch_)) return false;
    value = scratch_;
    return true;
}

}  // namespace kel_util
