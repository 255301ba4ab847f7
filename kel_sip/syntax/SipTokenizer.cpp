#include "kel_sip/syntax/SipTokenizer.h"

#include <cstring>

#include "kel_util/CharSet.h"
#include "kel_util/HeaderField.h"

namespace kel_sip {
namespace {

bool isWsp(char c) { return c == ' ' || c == '\t'; }

// Three or more colons seen before a list comma mean the element is not a user part with a
// comma in it (an IPv6 literal, or a second URI); the comma then separates.
constexpr int kColonLimit = 3;

}  // namespace

int SipTokenizer::lwsAfter(const char* data, int length, int pos) {
    int i = pos;
    while (i < length) {
        if (isWsp(data[i])) {
            ++i;
        } else if (data[i] == '\r' && i + 2 < length && data[i + 1] == '\n' && isWsp(data[i + 2])) {
            i += 3;
        } else {
            break;
        }
    }
    return i - pos;
}

int SipTokenizer::lwsBefore(const char* data, int pos) {
    int i = pos;
    while (i > 0) {
        if (isWsp(data[i - 1])) {
            --i;
        } else if (i >= 2 && i < pos && isWsp(data[i]) && data[i - 2] == '\r' && data[i - 1] == '\n') {
            // A line end counts only when white space follows it.
            i -= 2;
        } else {
            break;
        }
    }
    return pos - i;
}

std::string_view SipTokenizer::trimLws(std::string_view text) {
    const int length = static_cast<int>(text.size());
    const int lead = lwsAfter(text.data(), length, 0);
    if (lead == length) return {};
    const int trail = lwsBefore(text.data(), length);
    return text.substr(static_cast<size_t>(lead), static_cast<size_t>(length - lead - trail));
}

void SipTokenizer::skipLws() {
    if (data_ != nullptr) advance(lwsAfter(data_, length_, position_));
}

void SipTokenizer::skipAny(const char* set) {
    while (!atEnd() && data_[position_] != '\0' && std::strchr(set, data_[position_]) != nullptr) ++position_;
}

const char* SipTokenizer::trimmed(const char* token, int& len, bool hit, bool* found) {
    if (token != nullptr && hit) {
        len -= lwsBefore(token, len);
        skipLws();
    }
    if (found != nullptr) *found = token != nullptr && hit;
    return token;
}

const char* SipTokenizer::nextTrimmedToken(char delimiter, int& len, bool* found) {
    bool hit = false;
    const char* token = nextToken(delimiter, len, &hit);
    return trimmed(token, len, hit, found);
}

const char* SipTokenizer::nextQuotedTrimmedToken(char delimiter, int& len, bool* found) {
    bool hit = false;
    const char* token = nextQuotedToken(delimiter, len, &hit);
    return trimmed(token, len, hit, found);
}

const char* SipTokenizer::nextWord(int& len, bool* found) {
    if (found != nullptr) *found = false;
    if (atEnd()) return nullptr;
    const char* start = rest();
    int i = position_;
    while (i < length_ && lwsAfter(data_, length_, i) == 0) ++i;
    len = i - position_;
    position_ = i;
    if (i < length_) {
        skipLws();
        if (found != nullptr) *found = true;
    }
    return start;
}

bool SipTokenizer::lwsAround(std::string_view text, size_t pos) {
    return lwsBefore(text.data(), static_cast<int>(pos)) > 0 ||
           lwsAfter(text.data(), static_cast<int>(text.size()), static_cast<int>(pos) + 1) > 0;
}

size_t SipTokenizer::userPartEnd(std::string_view text, size_t separator) {
    constexpr size_t npos = std::string_view::npos;
    constexpr kel_util::CharSet kSeparators("@;?");
    for (size_t i = kSeparators.findIn(text, separator + 1); i != npos; i = kSeparators.findIn(text, i + 1)) {
        if (text[i] == '@') return i;
        if (text[i] == ';' && lwsAround(text, i)) return npos;
    }
    return npos;
}

int SipTokenizer::pastClosingBracket(int open) const {
    const void* close = std::memchr(data_ + open + 1, '>', static_cast<size_t>(length_ - open - 1));
    return close == nullptr ? length_ : static_cast<int>(static_cast<const char*>(close) - data_) + 1;
}

bool SipTokenizer::nextUriFollows(int comma) const {
    const std::string_view rest(data_ + comma + 1, static_cast<size_t>(length_ - comma - 1));
    for (const std::string_view scheme : {"sip:", "sips:", "tel:"}) {
        if (rest.size() >= scheme.size() && kel_util::equalsIgnoreCase(rest.substr(0, scheme.size()), scheme)) return true;
    }
    return false;
}

bool SipTokenizer::commaInUserPart(int comma, int colons) const {
    if (nextUriFollows(comma)) return false;
    const LookAhead& last = lookAhead_;
    if (last.data == data_ && last.length == length_ && comma > last.from && comma < last.end) return last.inUserPart;
    int i = comma + 1;
    bool inUserPart = false;
    for (; i < length_; ++i) {
        const char c = data_[i];
        if (c == '"' || c == '<' || (c == ',' && (lwsAround(i) || nextUriFollows(i)))) break;
        if (c == '@') {
            inUserPart = true;
            break;
        }
        // The colon count starts again with each element, so a stop here holds for this
        // comma only and is not remembered.
        if (c == ':' && ++colons >= kColonLimit) return false;
    }
    lookAhead_ = LookAhead{data_, length_, comma, i, inUserPart};
    return inUserPart;
}

int SipTokenizer::addressEnd(int from) const {
    bool bracket = false;
    bool atSign = false;
    int colons = 0;
    int i = from;
    while (i < length_) {
        const char c = data_[i];
        if (c == '"') {
            i = closingQuote(i);
            if (i < length_) ++i;
            continue;
        }
        if (c == '<') {
            bracket = true;
            i = pastClosingBracket(i);
            continue;
        }
        if (c == ':') {
            ++colons;
        } else if (c == '@') {
            atSign = true;
        } else if (c == ',') {
            if (lwsAround(i) || bracket || atSign || colons >= kColonLimit || !commaInUserPart(i, colons)) return i;
        }
        ++i;
    }
    return length_;
}

const char* SipTokenizer::nextAddress(int& len) {
    skipLws();
    if (atEnd()) return nullptr;
    const char* start = rest();
    const int end = addressEnd(position_);
    len = end - position_;
    len -= lwsBefore(start, len);
    position_ = end < length_ ? end + 1 : length_;
    skipLws();
    return start;
}

}  // namespace kel_sip
