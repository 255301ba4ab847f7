// The RAck header value (RFC 3262 section 7.2): the RSeq of the acknowledged provisional
// response and the CSeq of its request.
#pragma once

#include <cstdint>

#include "kel_sip/syntax/SipCSeq.h"

namespace kel_sip {

class SipRAck : public SipParam {
public:
    SipRAck() = default;
    SipRAck(std::int64_t responseNumber, const SipCSeq& cseq) : responseNumber_(responseNumber), cseq_(cseq) {}

    bool empty() const override { return responseNumber_ < 0 && cseq_.empty(); }
    void clear() override;
    // "response-num LWS CSeq": response-num 0..2**32-1 ("no RAck" when no LWS follows it), then
    // the rest as a CSeq. Wrapper "invalid RAck".
    void parse(const char* data, int length, bool clearFirst) override;
    // "response-num cseq"; nothing while the response number is unset.
    void print(std::string& out) const override;

    // -1 when unset.
    std::int64_t getResponseNumber() const { return responseNumber_; }
    void setResponseNumber(std::int64_t number) { responseNumber_ = number; }
    const SipCSeq& getCSeq() const { return cseq_; }
    SipCSeq& getCSeq() { return cseq_; }

    bool operator==(const SipRAck& other) const {
        return responseNumber_ == other.responseNumber_ && cseq_ == other.cseq_;
    }

private:
    std::int64_t responseNumber_ = -1;
    SipCSeq cseq_;
};

}  // namespace kel_sip
