// The Subscription-State header value (RFC 3265 section 7.2.3).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "kel_sip/syntax/SipGenericField.h"

namespace kel_sip {

class SipSubscriptionState : public SipGenericField {
public:
    enum State : int { StateNone = -1, Terminated = 0, Pending = 1, Active = 2 };

    SipSubscriptionState() = default;
    explicit SipSubscriptionState(int state) : state_(state) {}

    // "terminated", "pending", "active"; empty for StateNone, "unkown" for any other number.
    static std::string_view stateName(int state) noexcept;

    bool empty() const override;
    void clear() override;
    // "state *(;param)": the state is one of the three names in any case ("no state value",
    // "invalid state value"); "reason", "expires" and "retry-after" are kept apart, the numbers
    // as delta-seconds 0..2**32-1 when not empty. Wrapper "invalid subscription state".
    void parse(const char* data, int length, bool clearFirst) override;
    // Nothing without a state; else the name, ";reason=" when set, ";expires=" when 0 or more,
    // ";retry-after=" when above 0, then the parameters.
    void print(std::string& out) const override;
    bool takeParameter(std::string_view name, std::string_view value) override;

    int getState() const { return state_; }
    void setState(int state) { state_ = state; }
    const std::string& getReason() const { return reason_; }
    void setReason(std::string reason) { reason_ = std::move(reason); }
    // -1 when absent.
    std::int64_t getExpires() const { return expires_; }
    void setExpires(std::int64_t seconds) { expires_ = seconds; }
    // -1 when absent.
    std::int64_t getRetryAfter() const { return retryAfter_; }
    void setRetryAfter(std::int64_t seconds) { retryAfter_ = seconds; }

private:
    int state_ = StateNone;
    std::string reason_;
    std::int64_t expires_ = -1;
    std::int64_t retryAfter_ = -1;
};

}  // namespace kel_sip
