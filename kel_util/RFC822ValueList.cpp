#include "kel_util/RFC822ValueList.h"

namespace kel_util {

void RFC822ValueList::add(std::string_view value) {
    values_.emplace_back(value);
    cursor_ = size() - 1;
}

void RFC822ValueList::add(const char* value) { add(value != nullptr ? std::string_view(value) : std::string_view()); }

void RFC822ValueList::addAll(const RFC822ValueList& other) {
    // A copy first, so that adding a list to itself reads no value the additions move.
    const std::vector<std::string> copy = other.values_;
    for (const std::string& value : copy) add(value);
}

const std::string* RFC822ValueList::get(Position position) {
    if (values_.empty()) return nullptr;
    switch (position) {
        case First:
            cursor_ = 0;
            break;
        case Last:
            cursor_ = size() - 1;
            break;
        case Next:
            if (cursor_ < size()) ++cursor_;
            break;
        case Current:
            break;
    }
    return cursor_ >= 0 && cursor_ < size() ? &values_[static_cast<size_t>(cursor_)] : nullptr;
}

void RFC822ValueList::clear() {
    values_.clear();
    cursor_ = -1;
}

}  // namespace kel_util
