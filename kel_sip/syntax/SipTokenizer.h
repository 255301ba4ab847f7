// A StringTokenizer that knows SIP linear white space (RFC 3261 section 7.3.1): SP, HT, or a
// folded line end (CR LF followed by SP or HT). LWS is always skipped or cut as a whole.
#pragma once

#include <string_view>

#include "kel_util/StringTokenizer.h"

namespace kel_sip {

class SipTokenizer : public kel_util::StringTokenizer {
public:
    using StringTokenizer::StringTokenizer;
    explicit SipTokenizer(std::string_view text) : StringTokenizer(text.data(), static_cast<int>(text.size())) {}

    // Length of the LWS that starts at pos in data[0, length), 0 when none starts there.
    static int lwsAfter(const char* data, int length, int pos);
    // Length of the LWS that ends just before pos, 0 when none ends there.
    static int lwsBefore(const char* data, int pos);
    // text without leading and trailing LWS.
    static std::string_view trimLws(std::string_view text);
    // Whether LWS stands directly before or after the byte at pos.
    static bool lwsAround(std::string_view text, size_t pos);
    // For a ";" or "?" at 'separator' that may lie in the user part of a bare SIP URI, the
    // offset of the "@" ending that user part, or npos. The look-ahead passes "?" and ";"
    // written without LWS, and stops at a ";" with LWS around it, which separates parameters.
    static size_t userPartEnd(std::string_view text, size_t separator);

    // Moves the position over any LWS.
    void skipLws();
    // Moves the position over bytes of the NUL-terminated set.
    void skipAny(const char* set);

    // nextToken; when the delimiter was found, trailing LWS is cut from the token and LWS after
    // the delimiter is skipped. Without the delimiter the token is the untrimmed rest.
    const char* nextTrimmedToken(char delimiter, int& len, bool* found = nullptr);
    // The same over nextQuotedToken: delimiters inside double quotes do not count.
    const char* nextQuotedTrimmedToken(char delimiter, int& len, bool* found = nullptr);
    // Up to the first LWS; found: the LWS after the word is skipped.
    const char* nextWord(int& len, bool* found = nullptr);

    // The next element of a comma-separated list of addresses (Contact, Route, ...), without
    // surrounding LWS; null at the end. A comma splits the list unless it sits inside quotes or
    // angle brackets, or, written without LWS around it, inside the user part of a bare URI
    // (an "@" follows before any other separator), as in "sip:a,b@host"; a comma followed by
    // a SIP or tel scheme always separates, as in "sip:192.0.2.1,sip:b@host".
    const char* nextAddress(int& len);

private:
    // The common tail of the trimmed tokens: when the delimiter was hit, cut the token's
    // trailing LWS and skip the LWS after the delimiter.
    const char* trimmed(const char* token, int& len, bool hit, bool* found);
    // Offset of the comma that ends the address element starting at 'from', or length_.
    int addressEnd(int from) const;
    // Whether the comma at 'comma' lies in a user part: the look-ahead after it reaches "@".
    bool commaInUserPart(int comma, int colons) const;
    // Whether a comma at 'comma' is followed directly by "sip:", "sips:" or "tel:": the start
    // of the next URI, never the rest of a user part.
    bool nextUriFollows(int comma) const;
    bool lwsAround(int pos) const { return lwsAround(std::string_view(data_, static_cast<size_t>(length_)), static_cast<size_t>(pos)); }
    // Offset just past the '>' closing the '<' at 'open', or length_.
    int pastClosingBracket(int open) const;

    // The last look-ahead of commaInUserPart: every comma in (from, end) of the same data has
    // the same answer, so a list of many commas is scanned once, not once per comma.
    struct LookAhead {
        const char* data = nullptr;
        int length = 0;
        int from = 0;
        int end = 0;
        bool inUserPart = false;
    };
    mutable LookAhead lookAhead_;
};

}  // namespace kel_sip
