// The raw values of the known header kinds of one message, by kind. A message holds only a
// handful of kinds, so they sit in a small vector in the order first added (which is the
// order they print in); a lookup is a short linear scan, with no per-kind map node.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kel_util/RFC822ValueList.h"

namespace kel_sip {

class SipHeaderList {
public:
    using Position = kel_util::RFC822ValueList::Position;

    struct Entry {
        int kind;
        kel_util::RFC822ValueList values;
    };

    // Appends a value under kind (a SipHeader kind, 0..Count-1); the cursor moves to the kind.
    void add(int kind, std::string_view value);
    void addAll(int kind, const kel_util::RFC822ValueList& values);
    // The values of kind, or null; moves the cursor to the kind when found.
    kel_util::RFC822ValueList* find(int kind);
    const kel_util::RFC822ValueList* find(int kind) const;
    // RFC822ValueList::get on the values of kind; null when the kind is absent.
    const std::string* get(int kind, Position position);
    // Drops every value of kind; false when there was none.
    bool remove(int kind);

    void clear();
    bool empty() const { return entries_.empty(); }
    const std::vector<Entry>& getEntries() const { return entries_; }

    // Appends "Name: value\r\n" for each value, kinds in the order first added, full names.
    void print(std::string& out) const;

private:
    int indexOf(int kind) const;
    kel_util::RFC822ValueList& findOrInsert(int kind);

    std::vector<Entry> entries_;
    int cursor_ = -1;  // index of the entry last found or inserted
};

}  // namespace kel_sip
