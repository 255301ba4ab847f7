// A header value made of ";"-separated parameters, and the base of every header class that
// carries parameters (Via, Event, URIs, addresses, ...).
#pragma once

#include <string>
#include <string_view>

#include "kel_sip/syntax/SipParam.h"
#include "kel_sip/syntax/SipTokenizer.h"
#include "kel_util/HeaderField.h"

namespace kel_sip {

class SipGenericField : public kel_util::HeaderField, public SipParam {
public:
    // More generic parameters than this in one value fail the parse ("too many parameters"):
    // each is checked for a repeated name, so an unbounded count would cost quadratic time.
    static constexpr size_t kMaxParameters = 256;

    SipGenericField() = default;
    ~SipGenericField() override = default;
    SipGenericField(const SipGenericField&) = default;
    SipGenericField& operator=(const SipGenericField&) = default;
    SipGenericField(SipGenericField&&) noexcept = default;
    SipGenericField& operator=(SipGenericField&&) noexcept = default;

    bool empty() const override { return parameters_.empty(); }
    void clear() override { clearParameters(); }
    // Parameters only, "a=1;b"; failures are wrapped in "invalid generic field".
    void parse(const char* data, int length, bool clearFirst) override;
    // The parameters joined by ";", each "name" or "name=value"; never escaped.
    void print(std::string& out) const override;

    // Called for each parsed parameter; true when the class keeps it in a field of its own,
    // false to store it in the generic list. Names compare case-insensitively. The base keeps
    // nothing. May throw SipParseException for a value it cannot take.
    virtual bool takeParameter(std::string_view name, std::string_view value);

    // Appends ";name[=value]" for every generic parameter.
    void printParameters(std::string& out) const;
    // True when every parameter of other is present here with an equal value, names and values
    // compared case-insensitively; parameters only this one has are ignored (RFC 3261 19.1.4
    // leniency used for URI and Via comparison).
    bool containsParameters(const kel_util::HeaderField& other) const;

protected:
    // Reads ";"-separated parameters from the tokenizer's position to its end, offering each to
    // takeParameter; the rest go to the generic list, where a repeated name replaces the first.
    // Throws SipParseException "no param data" (an empty parameter), "no param name" or
    // "too many parameters".
    void parseParameters(SipTokenizer& tokenizer);
    // One "name[=value]" parameter, LWS around name and value dropped.
    void parseParameter(const char* data, int length);
};

}  // namespace kel_sip
