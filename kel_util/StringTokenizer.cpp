#include "kel_util/StringTokenizer.h"

#include <cstring>

#include "kel_util/CharSet.h"

namespace kel_util {

void StringTokenizer::init(const char* data, int length) {
    data_ = data;
    length_ = data != nullptr && length > 0 ? length : 0;
    position_ = 0;
}

void StringTokenizer::advance(int n) {
    const long next = static_cast<long>(position_) + n;
    position_ = next > length_ ? length_ : next < 0 ? 0 : static_cast<int>(next);
}

const char* StringTokenizer::nextToken(char delimiter, int& len, bool* found) {
    if (atEnd()) return nullptr;
    const char* start = rest();
    const void* at = std::memchr(start, static_cast<unsigned char>(delimiter), static_cast<size_t>(restLength()));
    if (found != nullptr) *found = at != nullptr;
    if (at == nullptr) {
        len = restLength();
        position_ = length_;
    } else {
        len = static_cast<int>(static_cast<const char*>(at) - start);
        position_ += len + 1;
    }
    return start;
}

const char* StringTokenizer::nextTokenAny(const char* set, int& len, char* hit) {
    if (atEnd()) return nullptr;
    const char* start = rest();
    const CharSet delimiters(set);
    int i = position_;
    while (i < length_ && !delimiters.contains(data_[i])) ++i;
    len = i - position_;
    if (hit != nullptr) *hit = i < length_ ? data_[i] : '\0';
    position_ = i < length_ ? i + 1 : length_;
    return start;
}

const char* StringTokenizer::nextTokenString(const char* s, int& len, bool* found) {
    if (atEnd()) return nullptr;
    const char* start = rest();
    const int needle = static_cast<int>(std::strlen(s));
    int i = position_;
    bool matched = false;
    if (needle > 0) {
        for (; i + needle <= length_; ++i) {
            if (std::memcmp(data_ + i, s, static_cast<size_t>(needle)) == 0) {
                matched = true;
                break;
            }
        }
    }
    if (found != nullptr) *found = matched;
    if (!matched) {
        len = restLength();
        position_ = length_;
    } else {
        len = i - position_;
        position_ = i + needle;
    }
    return start;
}

const char* StringTokenizer::nextLine(int& len, bool* found) {
    bool newline = false;
    const char* line = nextToken('\n', len, &newline);
    if (line != nullptr && newline && len > 0 && line[len - 1] == '\r') --len;
    if (found != nullptr) *found = newline;
    return line;
}

int StringTokenizer::closingQuote(int open) const {
    int backslashes = 0;
    for (int i = open + 1; i < length_; ++i) {
        if (data_[i] == '\\') {
            ++backslashes;
            continue;
        }
        if (data_[i] == '"' && backslashes % 2 == 0) return i;
        backslashes = 0;
    }
    return length_;
}

template <typename IsDelimiter>
int StringTokenizer::quotedTokenEnd(IsDelimiter isDelimiter) const {
    int i = position_;
    while (i < length_) {
        if (data_[i] == '"') {
            i = closingQuote(i);
            if (i < length_) ++i;
            continue;
        }
        if (isDelimiter(data_[i])) break;
        ++i;
    }
    return i;
}

const char* StringTokenizer::nextQuotedTokenAny(const char* set, int& len, char* hit) {
    if (atEnd()) return nullptr;
    const char* start = rest();
    const CharSet delimiters(set);
    const int i = quotedTokenEnd([&delimiters](char c) { return delimiters.contains(c); });
    len = i - position_;
    if (hit != nullptr) *hit = i < length_ ? data_[i] : '\0';
    position_ = i < length_ ? i + 1 : length_;
    return start;
}

// Called for every parameter and list element of a header, so the single delimiter is
// compared directly rather than through a set built on each call.
const char* StringTokenizer::nextQuotedToken(char delimiter, int& len, bool* found) {
    if (atEnd()) return nullptr;
    const char* start = rest();
    const int i = quotedTokenEnd([delimiter](char c) { return c == delimiter; });
    len = i - position_;
    if (found != nullptr) *found = i < length_;
    position_ = i < length_ ? i + 1 : length_;
    return start;
}

}  // namespace kel_util
