// An integer header value with parameters: Expires, Min-Expires, RSeq, Min-SE and the like.
#pragma once

#include <cstdint>

#include "kel_sip/syntax/SipGenericField.h"

namespace kel_sip {

class SipIntField : public SipGenericField {
public:
    SipIntField() = default;
    explicit SipIntField(std::int64_t value) : value_(value) {}

    bool empty() const override { return value_ < 0 && SipGenericField::empty(); }
    void clear() override;
    // "value *(;param)": the value is 0..2**32-1 (delta-seconds, RFC 3261 section 20.19; RSeq,
    // RFC 3262 section 7.1), "no value" when there is none. Wrapper "invalid int field".
    void parse(const char* data, int length, bool clearFirst) override;
    // The value when 0 or more, then the parameters.
    void print(std::string& out) const override;

    // -1 when unset.
    std::int64_t getValue() const { return value_; }
    void setValue(std::int64_t value) { value_ = value; }

protected:
    // Reads the value and the parameters; the body of parse without its wrapper.
    void parseValue(const char* data, int length);
    void printValue(std::string& out) const;

private:
    std::int64_t value_ = -1;
};

}  // namespace kel_sip
