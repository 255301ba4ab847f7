// An RFC 822 style message: a start line, headers, a content type and a body. SIP and HTTP
// messages derive from it and print their own typed headers in printHeaders.
#pragma once

#include <string>

#include "kel_util/ContentBuff.h"
#include "kel_util/RFC822HeaderList.h"

namespace kel_util {

class RFC822Message {
public:
    RFC822Message() = default;
    virtual ~RFC822Message() = default;
    RFC822Message(const RFC822Message&) = default;
    RFC822Message& operator=(const RFC822Message&) = default;
    RFC822Message(RFC822Message&&) noexcept = default;
    RFC822Message& operator=(RFC822Message&&) noexcept = default;

    // Empties the start line, headers, content type and body.
    virtual void clear();
    // Appends the start line, the headers, an empty line and the body.
    virtual void print(std::string& out) const;
    // Appends startLine and "\r\n".
    virtual void printStartLine(std::string& out) const;
    // Appends the generic headers, "Content-Type" when set, and always "Content-Length" with
    // the body length (0 for no body).
    virtual void printHeaders(std::string& out) const;

    void setBody(const char* data, int length) { body.set(data, length); }
    std::string toString() const;

    // The first line, without its line end.
    std::string startLine;
    // The headers that have no field of their own.
    RFC822HeaderList headers;
    // The Content-Type value, kept apart from headers.
    std::string contentType;
    ContentBuff body;
};

}  // namespace kel_util
