#include "kel_sip/syntax/SipHeaderList.h"

#include "kel_sip/syntax/SipHeader.h"

namespace kel_sip {

int SipHeaderList::indexOf(int kind) const {
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].kind == kind) return static_cast<int>(i);
    }
    return -1;
}

kel_util::RFC822ValueList& SipHeaderList::findOrInsert(int kind) {
    cursor_ = indexOf(kind);
    if (cursor_ < 0) {
        entries_.push_back(Entry{kind, {}});
        cursor_ = static_cast<int>(entries_.size()) - 1;
    }
    return entries_[cursor_].values;
}

void SipHeaderList::add(int kind, std::string_view value) {
    findOrInsert(kind).add(value);
}

void SipHeaderList::addAll(int kind, const kel_util::RFC822ValueList& values) {
    findOrInsert(kind).addAll(values);
}

kel_util::RFC822ValueList* SipHeaderList::find(int kind) {
    const int index = indexOf(kind);
    if (index < 0) return nullptr;
    cursor_ = index;
    return &entries_[index].values;
}

const kel_util::RFC822ValueList* SipHeaderList::find(int kind) const {
    const int index = indexOf(kind);
    return index < 0 ? nullptr : &entries_[index].values;
}

const std::string* SipHeaderList::get(int kind, Position position) {
    kel_util::RFC822ValueList* values = find(kind);
    return values != nullptr ? values->get(position) : nullptr;
}

bool SipHeaderList::remove(int kind) {
    const int index = indexOf(kind);
    if (index < 0) return false;
    entries_.erase(entries_.begin() + index);
    cursor_ = -1;
    return true;
}

void SipHeaderList::clear() {
    entries_.clear();
    cursor_ = -1;
}

void SipHeaderList::print(std::string& out) const {
    for (const Entry& entry : entries_) {
        for (const std::string& value : entry.values.getValues()) {
            out += SipHeader::name(entry.kind);
            out += ": ";
            out += value;
            out += "\r\n";
        }
    }
}

}  // namespace kel_sip
