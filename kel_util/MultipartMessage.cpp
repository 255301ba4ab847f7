#include "kel_util/MultipartMessage.h"

#include "kel_util/HeaderLine.h"

namespace kel_util {
namespace {

enum class Delimiter { None, Open, Close };

bool isContentTypeName(std::string_view name) {
    return (name.size() == 1 && (name[0] == 'c' || name[0] == 'C')) || equalsIgnoreCase(name, "Content-Type");
}

// RFC 2046 section 5.1.1: "--" boundary, "--" more for the closing delimiter, then optional
// transport padding (blanks) that receivers must accept. The boundary compares byte for byte.
Delimiter delimiterKind(std::string_view line, std::string_view boundary) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (!line.starts_with("--") || line.substr(2, boundary.size()) != boundary) return Delimiter::None;
    const std::string_view tail = line.substr(2 + boundary.size());
    if (tail.empty()) return Delimiter::Open;
    return tail == "--" ? Delimiter::Close : Delimiter::None;
}

// The end of the part that ends before the delimiter line at lineStart: the line end in front
// of a delimiter belongs to the delimiter.
const char* partEnd(const char* partStart, const char* lineStart) {
    const char* end = lineStart;
    if (end > partStart && end[-1] == '\n') --end;
    if (end > partStart && end[-1] == '\r') --end;
    return end;
}

}  // namespace

void MultipartMessage::clear() {
    headers.clear();
    contentType.clear();
    body.clear();
    parts.clear();
}

bool MultipartMessage::parse(const char* data, int count) { return parse(data, count, 0); }

bool MultipartMessage::parse(const char* data, int count, int depth) {
    clear();
    if (data == nullptr || count < 0) count = 0;
    const char* at = data;
    const char* const end = data + count;
    for (;;) {
        const char* next = nullptr;
        const int length = findHeaderLine(at, static_cast<int>(end - at), next);
        // The range ended inside the header block: no body.
        if (next == nullptr) return length == 0 || addHeader(at, length);
        if (length == 0) {
            at = next;
            break;
        }
        if (!addHeader(at, length)) return false;
        at = next;
    }
    return parseBody(at, static_cast<int>(end - at), depth);
}

bool MultipartMessage::addHeader(const char* line, int length) {
    std::string_view name;
    std::string_view value;
    if (!splitHeaderLine(line, length, name, value)) return true;
    if (isContentTypeName(name)) return contentType.parse(value.data(), static_cast<int>(value.size()), false);
    headers.addValue(name, value);
    return true;
}

bool MultipartMessage::parseBody(const char* data, int count, int depth) {
    if (!contentType.isMultipart()) {
        body.assign(data, static_cast<size_t>(count));
        return true;
    }
    if (contentType.boundary.empty() || depth >= kMaxDepth) return false;
    return parseParts(data, count, depth);
}

bool MultipartMessage::parseParts(const char* data, int count, int depth) {
    const char* const end = data + count;
    const char* partStart = nullptr;
    Delimiter last = Delimiter::None;
    for (const char* line = data; line != nullptr;) {
        const char* next = nullptr;
        const int length = findLine(line, static_cast<int>(end - line), next);
        const Delimiter kind = delimiterKind(std::string_view(line, static_cast<size_t>(length)), contentType.boundary);
        if (kind != Delimiter::None) {
            // Before the first delimiter lies the preamble, which is not a part.
            if (partStart != nullptr) {
                MultipartMessage part;
                if (!part.parse(partStart, static_cast<int>(partEnd(partStart, line) - partStart), depth + 1)) return false;
                parts.push_back(std::move(part));
            }
            partStart = next != nullptr ? next : end;
            last = kind;
        }
        line = next;
    }
    return last == Delimiter::Close;
}

}  // namespace kel_util
