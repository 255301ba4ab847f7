// The Date header value: an RFC 1123 date, always GMT (RFC 3261 section 20.17).
#pragma once

#include <cstdint>

#include "kel_sip/syntax/SipParam.h"

namespace kel_sip {

class SipDate : public SipParam {
public:
    static constexpr std::int64_t None = -1;

    SipDate() = default;
    explicit SipDate(std::int64_t seconds) : time_(seconds) {}

    bool empty() const override { return time_ < 0; }
    void clear() override { time_ = None; }
    // "Sun, 06 Nov 1994 08:49:37 GMT": day 1..31, year 1970..9999, hour up to 24, minute and
    // second up to 60; whatever follows the seconds (the zone) is ignored. Wrapper "invalid date".
    void parse(const char* data, int length, bool clearFirst) override;
    // Nothing when empty or beyond the year 9999.
    void print(std::string& out) const override;

    // Seconds since 1970-01-01 00:00:00 GMT; None when unset.
    std::int64_t getTime() const { return time_; }
    void setTime(std::int64_t seconds) { time_ = seconds; }

private:
    std::int64_t time_ = None;
};

}  // namespace kel_sip
