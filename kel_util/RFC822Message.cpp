#include "kel_util/RFC822Message.h"

namespace kel_util {

void RFC822Message::clear() {
    startLine.clear();
    headers.clear();
    contentType.clear();
    body.clear();
}

void RFC822Message::print(std::string& out) const {
    printStartLine(out);
    printHeaders(out);
    out.append("\r\n");
    out.append(body.view());
}

void RFC822Message::printStartLine(std::string& out) const { out.append(startLine).append("\r\n"); }

void RFC822Message::printHeaders(std::string& out) const {
    headers.print(out);
    if (!contentType.empty()) out.append("Content-Type: ").append(contentType).append("\r\n");
    out.append("Content-Length: ").append(std::to_string(body.getLength())).append("\r\n");
}

std::string RFC822Message::toString() const {
    // Room for the header block of a usual message and the whole body up front, so the text
    // is not copied again each time appending outgrows the string.
    constexpr size_t kUsualHeaderBytes = 1024;
    std::string out;
    out.reserve(kUsualHeaderBytes + static_cast<size_t>(body.getLength()));
    print(out);
    return out;
}

}  // namespace kel_util
