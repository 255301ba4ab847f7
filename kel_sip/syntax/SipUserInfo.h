// The userinfo of a SIP URI: user [":" password] (RFC 3261 section 25.1).
#pragma once

#include <string>

#include "kel_sip/syntax/SipParam.h"

namespace kel_sip {

class SipUserInfo : public SipParam {
public:
    bool empty() const override { return user.empty() && password.empty() && !hasPassword; }
    void clear() override;
    // The user up to the first ":", the password after it (may be empty). Neither may hold a
    // control byte (HT aside), "<", ">" or '"' unescaped; blanks are taken. Failures are wrapped in
    // "invalid userinfo".
    void parse(const char* data, int length, bool clearFirst) override;
    void print(std::string& out) const override { print(out, false); }
    // With escape, the user is escaped with the user set and the password with the password set.
    void print(std::string& out, bool escape) const;
    void unescape();

    // RFC 3261 section 19.1.4 as this stack applies it: user and password with their escapes
    // decoded, without case.
    bool equals(const SipUserInfo& other) const;

    std::string user;
    std::string password;
    bool hasPassword = false;
};

}  // namespace kel_sip
