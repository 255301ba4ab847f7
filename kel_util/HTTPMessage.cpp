#include "kel_util/HTTPMessage.h"

#include "kel_util/Decimal.h"
#include "kel_util/HeaderLine.h"
#include "kel_util/Log.h"
#include "kel_util/SocketException.h"
#include "kel_util/TextUtil.h"

#include <cstdint>

namespace kel_util {

namespace {

enum class Completeness { COMPLETE, INCOMPLETE, BAD };

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (toLowerAscii(a[i]) != toLowerAscii(b[i])) return false;
    }
    return true;
}

// Offset behind the empty line that ends the header block of data, -1 while it is incomplete.
int findHeadEnd(const char* data, int count) {
    const char* line = data;
    const char* next = nullptr;
    if (findLine(line, count, next) < 0 || next == nullptr) return -1;
    for (line = next; line != nullptr; line = next) {
        const int length = findCompleteHeaderLine(line, count - static_cast<int>(line - data), next);
        if (length < 0 || next == nullptr) return -1;
        if (length == 0) return static_cast<int>(next - data);
    }
    return -1;
}

// The length of the line at text up to its CR LF or LF, with after set behind the line end;
// -1 while no line end has arrived.
long lineLength(std::string_view text, size_t& after) {
    const size_t lf = text.find('\n');
    if (lf == std::string_view::npos) return -1;
    after = lf + 1;
    return static_cast<long>(lf > 0 && text[lf - 1] == '\r' ? lf - 1 : lf);
}

std::optional<long> parseChunkSize(std::string_view line) {
    const size_t end = line.find_first_of("; \t");
    const std::string_view digits = line.substr(0, end);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    long size = 0;
    for (const char c : digits) {
        const int value = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (value < 0) return std::nullopt;
        size = size * 16 + value;
    }
    if (size > HTTPMessage::kMaxSize) return std::nullopt;
    return size;
}

// Decodes a chunked body (RFC 9112 section 7.1) into decoded; trailers are skipped.
Completeness decodeChunked(std::string_view body, std::string* decoded) {
    size_t position = 0;
    for (;;) {
        size_t after = 0;
        const long length = lineLength(body.substr(position), after);
        if (length < 0) return Completeness::INCOMPLETE;
        const auto size = parseChunkSize(body.substr(position, static_cast<size_t>(length)));
        if (!size) return Completeness::BAD;
        position += after;
        if (*size == 0) break;
        if (body.size() - position < static_cast<size_t>(*size) + 2) return Completeness::INCOMPLETE;
        if (decoded != nullptr) decoded->append(body.substr(position, static_cast<size_t>(*size)));
        position += static_cast<size_t>(*size);
        const long end = lineLength(body.substr(position), after);
        if (end != 0) return end < 0 ? Completeness::INCOMPLETE : Completeness::BAD;
        position += after;
    }
    for (;;) {
        size_t after = 0;
        const long length = lineLength(body.substr(position), after);
        if (length < 0) return Completeness::INCOMPLETE;
        position += after;
        if (length == 0) return Completeness::COMPLETE;
    }
}

}  // namespace

void HTTPMessage::reset() {
    clear();
    isRequest = true;
    method.clear();
    requestURI.clear();
    version.clear();
    statusCode = 0;
    reasonPhrase.clear();
    contentLength_ = -1;
    transferCoding_.clear();
}

bool HTTPMessage::parseStartLine(std::string_view line) {
    startLine = std::string(line);
    const size_t first = line.find(' ');
    if (first == std::string_view::npos || first == 0) return false;
    if (line.substr(0, 5) == "HTTP/") {
        isRequest = false;
        version = std::string(line.substr(0, first));
        const std::string_view rest = line.substr(first + 1);
        const size_t second = rest.find(' ');
        const auto code = parseDecimal(rest.substr(0, second), 100, 999);
        if (!code) return false;
        statusCode = static_cast<int>(*code);
        if (second != std::string_view::npos) reasonPhrase = std::string(rest.substr(second + 1));
        return true;
    }
    const size_t second = line.find(' ', first + 1);
    if (second == std::string_view::npos || second == first + 1 || second + 1 == line.size()) return false;
    isRequest = true;
    method = std::string(line.substr(0, first));
    requestURI = std::string(line.substr(first + 1, second - first - 1));
    version = std::string(line.substr(second + 1));
    return true;
}

bool HTTPMessage::parseHeader(std::string_view line) {
    std::string_view name;
    std::string_view value;
    if (!splitHeaderLine(line.data(), static_cast<int>(line.size()), name, value)) return false;
    value = trimLinearSpace(value);
    if (equalsNoCase(name, "c") || equalsNoCase(name, "Content-Type")) {
        contentType = std::string(value);
    } else if (equalsNoCase(name, "l") || equalsNoCase(name, "Content-Length")) {
        const auto length = parseDecimal(value, 0, INT64_MAX);
        if (!length || (contentLength_ >= 0 && contentLength_ != *length)) return false;
        contentLength_ = *length > kMaxSize ? kMaxSize + 1L : static_cast<long>(*length);
    } else if (equalsNoCase(name, "Transfer-Encoding")) {
        transferCoding_ = toLowerAscii(value);
    } else {
        headers.addValue(name, value);
    }
    return true;
}

bool HTTPMessage::takeBody(std::string_view rest) {
    if (!transferCoding_.empty()) {
        std::string decoded;
        if (transferCoding_ != "chunked" || decodeChunked(rest, &decoded) != Completeness::COMPLETE) return false;
        setBody(decoded.data(), static_cast<int>(decoded.size()));
        return true;
    }
    if (contentLength_ > kMaxSize || static_cast<long>(rest.size()) < contentLength_) return false;
    if (contentLength_ >= 0) rest = rest.substr(0, static_cast<size_t>(contentLength_));
    setBody(rest.data(), static_cast<int>(rest.size()));
    return true;
}

bool HTTPMessage::parse(const char* data, int length) {
    reset();
    if (data == nullptr || length <= 0 || length > kMaxSize) return false;
    const int headEnd = findHeadEnd(data, length);
    return headEnd >= 0 && parseHead(data, headEnd) &&
           takeBody(std::string_view(data + headEnd, static_cast<size_t>(length - headEnd)));
}

bool HTTPMessage::parseHead(const char* data, int headEnd) {
    const char* next = nullptr;
    const int startLength = findLine(data, headEnd, next);
    if (!parseStartLine(std::string_view(data, static_cast<size_t>(startLength)))) return false;
    for (const char* line = next;;) {
        const int lineLength = findHeaderLine(line, headEnd - static_cast<int>(line - data), next);
        if (lineLength == 0) break;
        if (!parseHeader(std::string_view(line, static_cast<size_t>(lineLength)))) return false;
        line = next;
    }
    return true;
}

int HTTPMessage::receive(Socket& socket, std::chrono::milliseconds timeout, std::string& received) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    received.clear();
    int headEnd = -1;
    bool closed = false;
    for (;;) {
        if (headEnd < 0) {
            headEnd = findHeadEnd(received.data(), static_cast<int>(received.size()));
            reset();
            if (headEnd >= 0 && !parseHead(received.data(), headEnd)) return MALFORMED;
        }
        if (headEnd >= 0) {
            const int verdict = judgeBody(received, headEnd, closed);
            if (verdict != kIncomplete) return verdict;
        } else if (closed) {
            if (!received.empty()) return MALFORMED;
            logPrint(DET, "HTTPMessage::receive : no content.\n");
            return NOTHING_RECEIVED;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return TIMED_OUT;
        char buffer[8192];
        try {
            const int count = socket.receive(buffer, static_cast<int>(sizeof buffer), left);
            if (count == 0) return TIMED_OUT;
            if (received.size() + static_cast<size_t>(count) > static_cast<size_t>(kMaxSize)) return TOO_LARGE;
            received.append(buffer, static_cast<size_t>(count));
        } catch (const SocketException& e) {
            if (e.getCode() != SocketException::CONNECTION_CLOSED) throw;
            closed = true;
        }
    }
}

int HTTPMessage::judgeBody(const std::string& received, int headEnd, bool closed) {
    const std::string_view body = std::string_view(received).substr(static_cast<size_t>(headEnd));
    bool complete;
    if (!transferCoding_.empty()) {
        if (transferCoding_ != "chunked") return UNSUPPORTED_CODING;
        const Completeness chunks = decodeChunked(body, nullptr);
        if (chunks == Completeness::BAD) return MALFORMED;
        complete = chunks == Completeness::COMPLETE;
    } else if (contentLength_ > kMaxSize - headEnd) {
        return TOO_LARGE;
    } else {
        complete = contentLength_ >= 0 ? static_cast<long>(body.size()) >= contentLength_ : closed;
    }
    if (!complete) return closed ? MALFORMED : kIncomplete;
    return takeBody(body) ? static_cast<int>(received.size()) : MALFORMED;
}

}  // namespace kel_util
