#include "kel_sip/syntax/SipSessionExpires.h"

#include "kel_sip/syntax/SipFieldParse.h"

namespace kel_sip {

void SipSessionExpires::clear() {
    refresher_ = RefresherNone;
    SipIntField::clear();
}

void SipSessionExpires::parse(const char* data, int length, bool clearFirst) {
    parseWrapped(*this, clearFirst, "invalid session expires", [&] { parseValue(data, length); });
}

void SipSessionExpires::print(std::string& out) const {
    printValue(out);
    if (refresher_ == RefresherUac) out += ";refresher=uac";
    if (refresher_ == RefresherUas) out += ";refresher=uas";
    printParameters(out);
}

bool SipSessionExpires::takeParameter(std::string_view name, std::string_view value) {
    if (!kel_util::equalsIgnoreCase(name, "refresher")) return false;
    if (kel_util::equalsIgnoreCase(value, "uac")) {
        refresher_ = RefresherUac;
    } else if (kel_util::equalsIgnoreCase(value, "uas")) {
        refresher_ = RefresherUas;
    } else {
        throw SipParseException("unkown refresher");
    }
    return true;
}

}  // namespace kel_sip
