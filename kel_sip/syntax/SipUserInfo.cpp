#include "kel_sip/syntax/SipUserInfo.h"

#include <string_view>

#include "kel_sip/syntax/SipEscape.h"
#include "kel_sip/syntax/SipParseGuard.h"
#include "kel_util/HeaderField.h"

namespace kel_sip {

void SipUserInfo::clear() {
    user.clear();
    password.clear();
    hasPassword = false;
}

void SipUserInfo::parse(const char* data, int length, bool clearFirst) {
    guardedParse(*this, data, length, clearFirst, "invalid userinfo", [this](std::string_view text) {
        if (text.empty()) throw SipParseException("no userinfo");
        const size_t colon = text.find(':');
        if (colon == 0) throw SipParseException("no user");
        user.assign(text.substr(0, colon));
        hasPassword = colon != std::string_view::npos;
        password.assign(hasPassword ? text.substr(colon + 1) : std::string_view());
    });
}

void SipUserInfo::print(std::string& out, bool escapeParts) const {
    std::string part = user;
    if (escapeParts) escape(part, SipEscapeSet::User);
    out += part;
    if (!hasPassword) return;
    out += ':';
    part = password;
    if (escapeParts) escape(part, SipEscapeSet::Password);
    out += part;
}

void SipUserInfo::unescape() {
    kel_sip::unescape(user);
    kel_sip::unescape(password);
}

bool SipUserInfo::equals(const SipUserInfo& other) const {
    return kel_util::equalsIgnoreCase(user, other.user) && hasPassword == other.hasPassword &&
           kel_util::equalsIgnoreCase(password, other.password);
}

}  // namespace kel_sip
