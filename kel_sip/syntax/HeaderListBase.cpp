#include "kel_sip/syntax/HeaderListBase.h"

#include "kel_sip/syntax/SipContact.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipSessionExpires.h"
#include "kel_sip/syntax/SipStrList.h"
#include "kel_sip/syntax/SipTokenizer.h"

namespace kel_sip {
namespace {

int kindOf(std::string_view name) { return SipHeader::kindOf(name.data(), static_cast<int>(name.size())); }

}  // namespace

void HeaderListBase::addHeader(std::string_view name, std::string_view value) {
    const int kind = kindOf(name);
    if (kind >= 0) {
        typedList().add(kind, value);
    } else {
        genericList().addValue(name, value);
    }
}

void HeaderListBase::addHeader(int kind, std::string_view value) {
    if (kind >= 0 && kind < SipHeader::Count) typedList().add(kind, value);
}

const std::string* HeaderListBase::getHeader(std::string_view name, Position position) {
    const int kind = kindOf(name);
    return kind >= 0 ? typedList().get(kind, position) : genericList().getValue(name, position);
}

const std::string* HeaderListBase::getHeader(int kind, Position position) {
    return typedList().get(kind, position);
}

bool HeaderListBase::hasHeader(int kind) const {
    return typedList().find(kind) != nullptr;
}

bool HeaderListBase::removeHeader(int kind) {
    return typedList().remove(kind);
}

bool HeaderListBase::removeHeader(std::string_view name) {
    const int kind = kindOf(name);
    return kind >= 0 ? typedList().remove(kind) : genericList().remove(name);
}

void HeaderListBase::addHeaders(const HeaderListBase& other) {
    for (const SipHeaderList::Entry& entry : other.typedList().getEntries()) typedList().addAll(entry.kind, entry.values);
    for (const kel_util::RFC822HeaderList::Entry& entry : other.genericList().getEntries()) {
        genericList().addValues(entry.name, entry.values);
    }
}

bool HeaderListBase::getTypedHeader(int kind, SipParam& value, Position position, bool firstElement) {
    const std::string* raw = getHeader(kind, position);
    if (raw == nullptr) return false;
    const char* data = raw->data();
    int length = static_cast<int>(raw->size());
    if (firstElement) {
        SipTokenizer tokenizer(data, length);
        do {
            data = tokenizer.nextAddress(length);
        } while (data != nullptr && length == 0);
        if (data == nullptr) return false;
    }
    try {
        value.parse(data, length, true);
        return true;
    } catch (const SipParseException&) {
        return false;
    }
}

void HeaderListBase::addTypedHeader(int kind, const SipParam& value) {
    std::string text;
    value.print(text);
    addHeader(kind, text);
}

void HeaderListBase::addSessionExpires(int seconds, int refresher) {
    if (seconds < 0) return;
    addTypedHeader(SipHeader::SessionExpires,
                   SipSessionExpires(seconds, seconds > 0 ? refresher : SipSessionExpires::RefresherNone));
}

void HeaderListBase::addContacts(const std::vector<SipContact>& contacts) {
    for (const SipContact& contact : contacts) addTypedHeader(SipHeader::Contact, contact);
}

void HeaderListBase::mergeStrList(int kind, const SipStrList& additions) {
    SipStrList merged = getStrList(kind);
    for (const std::string& token : additions.getValues()) merged.addUnique(token);
    typedList().remove(kind);
    if (!merged.empty()) addTypedHeader(kind, merged);
}

void HeaderListBase::addOptionTag(int kind, std::string_view tag) {
    SipStrList tags;
    tags.add(tag);
    mergeStrList(kind, tags);
}

SipStrList HeaderListBase::getStrList(int kind) const {
    SipStrList tags;
    const kel_util::RFC822ValueList* values = typedList().find(kind);
    if (values == nullptr) return tags;
    for (const std::string& value : values->getValues()) {
        SipStrList parsed;
        try {
            parsed.parse(value.data(), static_cast<int>(value.size()), true);
        } catch (const SipParseException&) {
            continue;  // a value that is no token list names no tag
        }
        for (const std::string& token : parsed.getValues()) tags.addUnique(token);
    }
    return tags;
}

bool HeaderListBase::hasOptionTag(int kind, std::string_view tag) const {
    return getStrList(kind).contains(tag);
}

}  // namespace kel_sip
