// The Session-Expires header value (RFC 4028 section 4): the session interval and which side
// refreshes the session.
#pragma once

#include "kel_sip/syntax/SipIntField.h"

namespace kel_sip {

class SipSessionExpires : public SipIntField {
public:
    enum Refresher : int { RefresherNone = 0, RefresherUac = 1, RefresherUas = 2 };

    SipSessionExpires() = default;
    SipSessionExpires(std::int64_t seconds, int refresher) : SipIntField(seconds), refresher_(refresher) {}

    bool empty() const override { return refresher_ == RefresherNone && SipIntField::empty(); }
    void clear() override;
    // As SipIntField; "refresher" must be "uac" or "uas" (any case), else "unkown refresher".
    // Wrapper "invalid session expires".
    void parse(const char* data, int length, bool clearFirst) override;
    // The value, ";refresher=uac" or ";refresher=uas" when set, then the parameters.
    void print(std::string& out) const override;
    bool takeParameter(std::string_view name, std::string_view value) override;

    int getRefresher() const { return refresher_; }
    void setRefresher(int refresher) { refresher_ = refresher; }

private:
    int refresher_ = RefresherNone;
};

}  // namespace kel_sip
