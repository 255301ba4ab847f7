// A non-owning tokenizer over a byte range. Tokens are pointer and length into the caller's
// bytes; nothing is copied and no terminating NUL is needed. Every next* operation returns
// null, leaving the position unchanged, when there is no data or the position is at the end.
#pragma once

namespace kel_util {

class StringTokenizer {
public:
    StringTokenizer() = default;
    StringTokenizer(const char* data, int length) { init(data, length); }
    virtual ~StringTokenizer() = default;

    void init(const char* data, int length);
    // Moves the position by n, kept within 0..length.
    void advance(int n);

    const char* getData() const { return data_; }
    int getLength() const { return length_; }
    int getPosition() const { return position_; }
    bool atEnd() const { return data_ == nullptr || position_ >= length_; }
    // The bytes not yet read.
    const char* rest() const { return data_ + position_; }
    int restLength() const { return length_ - position_; }

    // Up to the first delimiter (found: position moves past it) or the end.
    const char* nextToken(char delimiter, int& len, bool* found = nullptr);
    // Up to the first byte of the NUL-terminated set; hit receives that byte or 0.
    const char* nextTokenAny(const char* set, int& len, char* hit = nullptr);
    // Up to the first occurrence of the whole string s; found: position moves past all of s.
    const char* nextTokenString(const char* s, int& len, bool* found = nullptr);
    // nextToken('\n') without a trailing "\r".
    const char* nextLine(int& len, bool* found = nullptr);
    // As nextTokenAny, but delimiters inside double quotes do not count. A quote preceded by
    // an odd number of backslashes is escaped; an unterminated quote runs to the end.
    const char* nextQuotedTokenAny(const char* set, int& len, char* hit = nullptr);
    const char* nextQuotedToken(char delimiter, int& len, bool* found = nullptr);

protected:
    // Offset of the closing quote of a quoted stretch whose opening quote is at 'open',
    // or length when it is unterminated.
    int closingQuote(int open) const;

    const char* data_ = nullptr;
    int length_ = 0;
    int position_ = 0;

private:
    // Offset of the first byte from the position on, outside double quotes, for which
    // isDelimiter holds, or length.
    template <typename IsDelimiter>
    int quotedTokenEnd(IsDelimiter isDelimiter) const;
};

}  // namespace kel_util
