#include "kel_sip/syntax/SipUserInfo.h"

#include <string_view>

#include "kel_sip/syntax/SipEscape.h"
#include "kel_sip/syntax/SipParseGuard.h"
#include "kel_util/HeaderField.h"

namespace kel_sip {
namespace {

// Control bytes (a line end above all) and the bytes that delimit an address never stand
// unescaped in a user part: printed, they would end the header or the address. Blanks are
// taken, so that an unescaped user such as "I have spaces" can be escaped on output.
bool isUserText(std::string_view text) {
    for (const unsigned char c : text) {
        if ((c < ' ' && c != '\t') || c == 0x7f || c == '<' || c == '>' || c == '"') return false;
    }
    return true;
}

}  // namespace

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
        if (!isUserText(text)) throw SipParseException("invalid user");
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
    using kel_util::equalsIgnoreCase;
    return hasPassword == other.hasPassword && equalsIgnoreCase(kel_sip::unescaped(user), kel_sip::unescaped(other.user)) &&
           equalsIgnoreCase(kel_sip::unescaped(password), kel_sip::unescaped(other.password));
}

}  // namespace kel_sip
