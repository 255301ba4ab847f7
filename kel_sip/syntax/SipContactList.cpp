#include "kel_sip/syntax/SipContactList.h"

#include <algorithm>

#include "kel_sip/syntax/SipTokenizer.h"

namespace kel_sip {

void SipContactReader::add(std::string_view value) {
    SipTokenizer tokenizer(value);
    int len = 0;
    while (const char* element = tokenizer.nextAddress(len)) {
        if (len == 0) continue;
        SipContact contact;
        contact.parse(element, len, true);
        read_ = true;
        if (options_.unescape) contact.unescape();
        if (options_.sipOnly && !contact.address.uri.isSipUri()) continue;
        insert(std::move(contact));
    }
}

void SipContactReader::insert(SipContact&& contact) {
    if (!options_.sortByQ) {
        contacts_.push_back(std::move(contact));
        return;
    }
    const float q = contact.q;
    const auto lower = std::find_if(contacts_.begin(), contacts_.end(), [q](const SipContact& c) { return c.q < q; });
    contacts_.insert(lower, std::move(contact));
}

}  // namespace kel_sip
