// The interface every SIP header value class implements.
#pragma once

#include <string>

#include "kel_sip/syntax/SipParseException.h"

namespace kel_sip {

class SipParam {
public:
    virtual ~SipParam() = default;

    // True when nothing is set.
    virtual bool empty() const = 0;
    virtual void clear() = 0;
    // Parses length bytes at data (no terminating NUL needed). Throws SipParseException; with
    // clearFirst the value is cleared before parsing and again when parsing fails.
    virtual void parse(const char* data, int length, bool clearFirst) = 0;
    // Appends the printed form to out.
    virtual void print(std::string& out) const = 0;

    std::string toString() const {
        std::string out;
        print(out);
        return out;
    }

protected:
    SipParam() = default;
    SipParam(const SipParam&) = default;
    SipParam& operator=(const SipParam&) = default;
    SipParam(SipParam&&) noexcept = default;
    SipParam& operator=(SipParam&&) noexcept = default;
};

}  // namespace kel_sip
