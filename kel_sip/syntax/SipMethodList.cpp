#include "kel_sip/syntax/SipMethodList.h"

#include <algorithm>

#include "kel_sip/syntax/SipFieldParse.h"

namespace kel_sip {

bool SipMethodList::empty() const {
    return std::none_of(methods_.begin(), methods_.end(), [](bool allowed) { return allowed; });
}

void SipMethodList::parse(const char* data, int length, bool clearFirst) {
    parseWrapped(*this, clearFirst, "invalid method list", [&] {
        SipTokenizer tokenizer(data, length);
        int len = 0;
        while (const char* token = tokenizer.nextTrimmedToken(',', len)) {
            apply(SipTokenizer::trimLws(std::string_view(token, static_cast<size_t>(len))));
        }
    });
}

void SipMethodList::apply(std::string_view token) {
    if (token == "*") {
        setAll(true);
        return;
    }
    const bool allowed = !token.starts_with('-');
    const std::string_view name = allowed ? token : SipTokenizer::trimLws(token.substr(1));
    const int kind = SipMethod::kindOf(name);
    if (kind == SipMethod::Other) throw SipParseException("invalid method");
    set(kind, allowed);
}

void SipMethodList::print(std::string& out) const {
    bool first = true;
    for (int kind = 0; kind < SipMethod::Count; ++kind) {
        if (!methods_[static_cast<size_t>(kind)]) continue;
        if (!first) out += ',';
        out += SipMethod::nameOf(kind);
        first = false;
    }
}

bool SipMethodList::has(int methodKind) const {
    return methodKind >= 0 && methodKind < SipMethod::Count && methods_[static_cast<size_t>(methodKind)];
}

void SipMethodList::set(int methodKind, bool allowed) {
    if (methodKind >= 0 && methodKind < SipMethod::Count) methods_[static_cast<size_t>(methodKind)] = allowed;
}

}  // namespace kel_sip
