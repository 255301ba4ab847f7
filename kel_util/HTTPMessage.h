// An HTTP/1.1 message as the gateway client and SSDP exchange them: a request line or a status
// line, headers, a content type and a body. Both a whole message in a buffer (an SSDP datagram)
// and a response read from a stream are parsed here; the parse never trusts a length it reads:
// Content-Length is digits only and bounded, a body is never read past it, a chunked body is
// decoded, and a message above kMaxSize is refused.
#pragma once

#include "kel_util/RFC822Message.h"
#include "kel_util/Socket.h"

#include <chrono>
#include <string>
#include <string_view>

namespace kel_util {

class HTTPMessage : public RFC822Message {
public:
    // The largest message, header block and body together, that is read or parsed.
    static constexpr int kMaxSize = 65535;

    // What receive returns besides a positive byte count.
    enum ReceiveResult : int {
        NOTHING_RECEIVED = 0,     // the peer closed before sending anything
        TIMED_OUT = -2,           // the receive time-out ran out before the message was complete
        TOO_LARGE = -3,           // the message would exceed kMaxSize
        MALFORMED = -4,           // no valid start line, header block, length or chunk
        UNSUPPORTED_CODING = -5,  // a transfer coding other than chunked
    };

    // Empties the message and makes it a request again.
    void reset();

    // Parses one whole message; false (the message then undefined until reset) when the start
    // line or a header does not parse, the Content-Length is not a bounded number, the body is
    // shorter than it, or a chunked body is incomplete.
    bool parse(const char* data, int length);
    bool parse(std::string_view text) { return parse(text.data(), static_cast<int>(text.size())); }

    // Reads one message from a connected stream socket and parses it: the header block, then
    // exactly Content-Length body bytes, or the chunks of a chunked body, or without either
    // until the peer closes. The whole read must finish within timeout. Returns the bytes read
    // (left in received), or a ReceiveResult; socket failures other than the peer closing
    // propagate.
    int receive(Socket& socket, std::chrono::milliseconds timeout, std::string& received);

    bool isRequest = true;
    std::string method;
    std::string requestURI;
    std::string version;
    int statusCode = 0;
    std::string reasonPhrase;

private:
    // judgeBody's answer while more bytes are needed.
    static constexpr int kIncomplete = 1;

    // The start line and the headers of the header block that ends at headEnd.
    bool parseHead(const char* data, int headEnd);
    // Whether the body behind headEnd is complete under the framing of the parsed header
    // block: kIncomplete, the byte count when complete (the body then taken), or a failure.
    int judgeBody(const std::string& received, int headEnd, bool closed);
    bool parseStartLine(std::string_view line);
    // Takes one header line: Content-Type and Content-Length (and their one-letter forms) into
    // their fields, Transfer-Encoding into transferCoding_, the rest into headers.
    bool parseHeader(std::string_view line);
    // The body behind the header block: cut to Content-Length, decoded when chunked.
    bool takeBody(std::string_view rest);

    // Content-Length, -1 when the message had none.
    long contentLength_ = -1;
    std::string transferCoding_;
};

}  // namespace kel_util
