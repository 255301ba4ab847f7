// One MIME entity (RFC 2045, RFC 2046 section 5.1): headers, a content type and either a
// body or, for a multipart type, the entities of its parts. Presence bodies of type
// multipart/related are unpacked with it.
#pragma once

#include <string>
#include <vector>

#include "kel_util/ContentType.h"
#include "kel_util/RFC822HeaderList.h"

namespace kel_util {

class MultipartMessage {
public:
    // Deepest nesting of multipart entities that parse accepts, so that a hostile body
    // cannot exhaust the stack.
    static constexpr int kMaxDepth = 16;

    MultipartMessage() = default;
    virtual ~MultipartMessage() = default;
    MultipartMessage(const MultipartMessage&) = default;
    MultipartMessage& operator=(const MultipartMessage&) = default;
    MultipartMessage(MultipartMessage&&) noexcept = default;
    MultipartMessage& operator=(MultipartMessage&&) noexcept = default;

    // Parses count bytes: the header block (Content-Type or its compact form "c" goes to
    // contentType, every other header to headers), an empty line, then the body. A range that
    // ends inside the header block gives an empty body. A multipart body needs a boundary and
    // at least one delimiter line ("--" boundary, optionally followed by "--" and blanks);
    // the preamble before the first and the epilogue after the last are ignored, and the
    // line end before each delimiter belongs to the delimiter, not to the part. The last
    // delimiter must be the closing one, so a cut-off body fails instead of losing its last
    // part. False on failure, leaving what was parsed so far.
    bool parse(const char* data, int count);
    void clear();

    RFC822HeaderList headers;
    ContentType contentType;
    // The body when the entity is not multipart.
    std::string body;
    // The parts when it is.
    std::vector<MultipartMessage> parts;

private:
    bool parse(const char* data, int count, int depth);
    bool addHeader(const char* line, int length);
    bool parseBody(const char* data, int count, int depth);
    bool parseParts(const char* data, int count, int depth);
};

}  // namespace kel_util
