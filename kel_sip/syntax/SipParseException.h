// A failure to parse a SIP message or header value. Header classes that catch the error of a
// part rethrow with their own message and the caught one as cause, so the text reads outside in:
// "(0) invalid via, invalid sent-by, ...".
#pragma once

#include "kel_util/Exception.h"

namespace kel_sip {

class SipParseException : public kel_util::BaseException {
public:
    explicit SipParseException(std::string message) : BaseException(std::move(message), 0) {}
    SipParseException(std::string message, const kel_util::Throwable& cause)
        : BaseException(std::move(message), 0, cause) {}

    std::unique_ptr<kel_util::Throwable> clone() const override { return std::make_unique<SipParseException>(*this); }
};

}  // namespace kel_sip
