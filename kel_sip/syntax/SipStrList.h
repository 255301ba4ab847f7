// A comma-separated list of tokens: Supported, Require, Unsupported, Allow-Events,
// Proxy-Require and the other option-tag lists (RFC 3261 sections 20.32, 20.37, 20.40).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kel_sip/syntax/SipParam.h"

namespace kel_sip {

class SipStrList : public SipParam {
public:
    bool empty() const override { return values_.empty(); }
    void clear() override { values_.clear(); }
    // Appends the comma-separated tokens without LWS around them; empty tokens are skipped.
    // Wrapper "invalid string list".
    void parse(const char* data, int length, bool clearFirst) override;
    // The tokens joined by "," without blanks.
    void print(std::string& out) const override;

    const std::vector<std::string>& getValues() const { return values_; }
    void add(std::string_view value) { values_.emplace_back(value); }
    // Whether the list holds value, compared without case.
    bool contains(std::string_view value) const;
    // Appends value unless the list already holds it; true when it was appended.
    bool addUnique(std::string_view value);

    bool operator==(const SipStrList& other) const { return values_ == other.values_; }

private:
    std::vector<std::string> values_;
};

}  // namespace kel_sip
