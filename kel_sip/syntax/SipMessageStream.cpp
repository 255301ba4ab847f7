// Reading and writing a SipMessage on a byte stream (RFC 3261 section 18.3 framing): the
// header block line by line, then exactly Content-Length body bytes.
#include <algorithm>

#include "kel_sip/syntax/SipMessage.h"
#include "kel_sip/syntax/SipMessageParser.h"
#include "kel_util/StreamIO.h"

namespace kel_sip {
namespace {

// Appends bytes to the capture up to its capacity.
void captureBytes(std::string* capture, int capacity, const char* data, size_t length) {
    if (capture == nullptr) return;
    const size_t room = capacity > static_cast<int>(capture->size()) ? capacity - capture->size() : 0;
    capture->append(data, std::min(room, length));
}

}  // namespace

int SipMessage::readFrom(kel_util::ByteSource& source, char* buffer, int capacity, int& filled, int flags,
                         std::string& reason, std::string* capture, int captureCapacity, int maxContentLength) {
    clear();
    reason.clear();
    std::string line;
    std::string raw;
    std::string* const rawLine = capture != nullptr ? &raw : nullptr;
    int consumed = kel_util::readLine(source, buffer, capacity, filled, flags, line, rawLine, capacity);
    if (consumed == 0) return ReadClosed;
    if (consumed == -1) {
        reason = "start line too long";
        return ReadBufferFull;
    }
    if (consumed < 0) return ReadNoStartLine;
    if (line.empty()) return ReadKeepAlive;
    int total = consumed;
    captureBytes(capture, captureCapacity, raw.data(), raw.size());
    Parser parser(*this, maxContentLength);
    if (!parser.parseStartLine(line)) {
        reason = parser.reason();
        return ReadInvalid;
    }
    for (;;) {
        consumed = kel_util::readLine(source, buffer, capacity, filled, flags, line, rawLine, capacity);
        if (consumed == -1) {
            reason = "header line too long";
            return ReadBufferFull;
        }
        if (consumed <= 0) {
            reason = "message cut off in the header";
            return ReadBroken;
        }
        total += consumed;
        if (total > MaxStreamHeaderLength) {
            reason = "header too long";
            return ReadInvalid;
        }
        captureBytes(capture, captureCapacity, raw.data(), raw.size());
        if (line.empty()) break;
        parser.parseHeader(line);
    }
    if (parser.bad()) {
        reason = parser.reason();
        return ReadInvalid;
    }
    const int length = std::max(parser.contentLength(), 0);
    if (length > 0) {
        std::string bytes;
        if (!kel_util::readBody(bytes, length, maxContentLength, source, buffer, capacity, filled, flags)) {
            reason = "message cut off in the body";
            return ReadBroken;
        }
        captureBytes(capture, captureCapacity, bytes.data(), bytes.size());
        body.set(std::move(bytes));
        total += length;
    }
    return total;
}

int SipMessage::writeTo(kel_util::ByteSink& sink, int flags, std::string* capture, int captureCapacity) const {
    std::string head;
    head.reserve(512);
    printStartLine(head);
    printHeaders(head);
    head += "\r\n";
    if (!kel_util::writeAll(head.data(), static_cast<int>(head.size()), sink, flags)) return 0;
    captureBytes(capture, captureCapacity, head.data(), head.size());
    if (!kel_util::writeAll(body.getData(), body.getLength(), sink, flags)) return 0;
    captureBytes(capture, captureCapacity, body.getData(), static_cast<size_t>(body.getLength()));
    return static_cast<int>(head.size()) + body.getLength();
}

}  // namespace kel_sip
