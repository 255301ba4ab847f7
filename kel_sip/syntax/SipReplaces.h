// The Replaces header value (RFC 3891 section 6.1): the dialog that a new INVITE replaces.
#pragma once

#include <string>

#include "kel_sip/syntax/SipGenericField.h"

namespace kel_sip {

class SipReplaces : public SipGenericField {
public:
    bool empty() const override;
    void clear() override;
    // "callid *(;param)", "no callid" when the Call-ID is missing; "to-tag", "from-tag" and the
    // flag "early-only" are kept apart. Wrapper "invalid replaces".
    void parse(const char* data, int length, bool clearFirst) override;
    // Nothing without a Call-ID; else the Call-ID, ";to-tag=", ";from-tag=" (both always),
    // ";early-only" when flagged, then the parameters.
    void print(std::string& out) const override;
    bool takeParameter(std::string_view name, std::string_view value) override;

    const std::string& getCallId() const { return callId_; }
    void setCallId(std::string callId) { callId_ = std::move(callId); }
    const std::string& getToTag() const { return toTag_; }
    void setToTag(std::string tag) { toTag_ = std::move(tag); }
    const std::string& getFromTag() const { return fromTag_; }
    void setFromTag(std::string tag) { fromTag_ = std::move(tag); }
    bool isEarlyOnly() const { return earlyOnly_; }
    void setEarlyOnly(bool earlyOnly) { earlyOnly_ = earlyOnly; }

private:
    std::string callId_;
    std::string toTag_;
    std::string fromTag_;
    bool earlyOnly_ = false;
};

}  // namespace kel_sip
