// The Allow header value (RFC 3261 section 20.5) as one flag per method kind.
#pragma once

#include <array>

#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipParam.h"

namespace kel_sip {

class SipMethodList : public SipParam {
public:
    bool empty() const override;
    void clear() override { methods_.fill(false); }
    // Comma-separated tokens, applied in order: "*" sets every method, "-NAME" clears NAME, a
    // method name sets it; names compare without case. A name outside the method table fails
    // with "invalid method". Wrapper "invalid method list".
    void parse(const char* data, int length, bool clearFirst) override;
    // The names of the set methods in kind order, joined by "," without blanks.
    void print(std::string& out) const override;

    // False for a kind outside the table.
    bool has(int methodKind) const;
    // Ignored for a kind outside the table.
    void set(int methodKind, bool allowed = true);
    void setAll(bool allowed) { methods_.fill(allowed); }

    bool operator==(const SipMethodList& other) const { return methods_ == other.methods_; }

private:
    void apply(std::string_view token);

    std::array<bool, SipMethod::Count> methods_{};
};

}  // namespace kel_sip
