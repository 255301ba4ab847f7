// Reads the contacts of a message's raw Contact header values (RFC 3261 sections 10.2.1.2 and
// 20.10): each value may hold a comma list; the result may be ordered by descending q.
#pragma once

#include <string_view>
#include <vector>

#include "kel_sip/syntax/SipContact.h"

namespace kel_sip {

struct SipContactOptions {
    bool sortByQ = false;    // descending q, ties in arrival order; else arrival order
    bool sipOnly = false;    // skip contacts whose URI is not sip/sips (the wildcard included)
    bool unescape = false;   // decode the escapes of each contact
};

class SipContactReader {
public:
    explicit SipContactReader(SipContactOptions options) : options_(options) {}

    // Adds the contacts of one raw value, split with SipTokenizer::nextAddress; empty elements
    // are passed over. Throws SipParseException for an element that does not parse.
    void add(std::string_view value);
    // Whether any contact was read, skipped ones included.
    bool anyRead() const { return read_; }
    std::vector<SipContact>& contacts() { return contacts_; }

private:
    void insert(SipContact&& contact);

    SipContactOptions options_;
    std::vector<SipContact> contacts_;
    bool read_ = false;
};

// Reads every value of values (a range of strings or string views) into contacts. A value that
// fails to parse empties contacts and gives false; otherwise true when at least one contact was
// read (skipped ones count).
template <typename Values>
bool readContacts(const Values& values, std::vector<SipContact>& contacts, SipContactOptions options) {
    SipContactReader reader(options);
    contacts.clear();
    try {
        for (const auto& value : values) reader.add(std::string_view(value));
    } catch (const SipParseException&) {
        return false;
    }
    contacts = std::move(reader.contacts());
    return reader.anyRead();
}

}  // namespace kel_sip
