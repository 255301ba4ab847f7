// The parse steps shared by SipMessage::parse (a datagram in memory) and SipMessage::readFrom
// (a stream): the start line and the header dispatch of RFC 3261 section 7. Internal to the
// message; header values are read in place and only the fields kept are copied.
#pragma once

#include <string>
#include <string_view>

#include "kel_sip/syntax/SipMessage.h"

namespace kel_sip {

class SipMessage::Parser {
public:
    Parser(SipMessage& message, int maxContentLength) : message_(message), maxContentLength_(maxContentLength) {}

    // Parses the start line; false with the reason set ("invalid first line, (...)").
    bool parseStartLine(std::string_view line);
    // One logical header line (folded line ends inside). A line without a colon is skipped; a
    // bad value marks the message bad with its reason, and the other headers are still read.
    // folded false promises the line holds no line end, which spares unfolding it.
    void parseHeader(std::string_view line, bool folded = true);

    bool bad() const { return bad_; }
    const std::string& reason() const { return reason_; }
    void fail(std::string reason) {
        bad_ = true;
        reason_ = std::move(reason);
    }
    // The Content-Length value, -1 when the header was absent.
    int contentLength() const { return contentLength_; }

private:
    void dispatch(int kind, std::string_view name, std::string_view value);
    // False, with the message marked bad, for a second Call-ID, CSeq, From, To or Max-Forwards.
    bool firstOfSingleValue(int kind);
    void parseStatusLine(std::string_view line);
    void parseRequestLine(std::string_view line);
    void parseContentLength(std::string_view value);
    void parseMaxForwards(std::string_view value);
    void parseFromTo(SipFromTo& field, std::string_view value, const char* what, bool unescape);
    void parseVias(std::string_view value);
    void parseRoutes(std::vector<SipRoute>& list, std::string_view value, const char* what, bool unescape);

    SipMessage& message_;
    int maxContentLength_;
    int contentLength_ = -1;
    unsigned singleValuesSeen_ = 0;  // one bit per header kind of firstOfSingleValue
    bool bad_ = false;
    std::string reason_;
    std::string scratch_;  // an unfolded copy of the line in work, when it was folded
};

}  // namespace kel_sip
