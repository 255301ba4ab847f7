// Headers without a field of their own: each name (compared without case, kept in the form
// of its first insertion) maps to the list of its values. Names print in insertion order,
// all values of one name together.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kel_util/RFC822ValueList.h"

namespace kel_util {

class RFC822HeaderList {
public:
    struct Entry {
        std::string name;
        RFC822ValueList values;
    };

    // Finds the entry for name or inserts an empty one, points the cursor at it and adds value.
    void addValue(std::string_view name, std::string_view value);
    // As above; a null name adds to the entry under the cursor (nothing when there is none),
    // a null value adds an empty string.
    void addValue(const char* name, const char* value);
    void addValues(std::string_view name, const RFC822ValueList& values);

    // Finds name (moving the cursor to it), then RFC822ValueList::get on its values.
    // Null when the name is absent.
    const std::string* getValue(std::string_view name, RFC822ValueList::Position position);
    // The values of name, or null; moves the cursor to it when found.
    RFC822ValueList* find(std::string_view name);
    const RFC822ValueList* find(std::string_view name) const;
    // Removes the entry of name; false when absent.
    bool remove(std::string_view name);

    void clear();
    bool empty() const { return entries_.empty(); }
    const std::vector<Entry>& getEntries() const { return entries_; }

    // Appends "name: value\r\n" for every value of every entry.
    void print(std::string& out) const;

private:
    int indexOf(std::string_view name) const;
    RFC822ValueList& findOrInsert(std::string_view name);

    std::vector<Entry> entries_;
    // Lower-cased name -> index into entries_.
    std::unordered_map<std::string, int> index_;
    // Index of the entry last found or inserted, -1 when none.
    int cursor_ = -1;
};

}  // namespace kel_util
