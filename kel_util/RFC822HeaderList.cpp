#include "kel_util/RFC822HeaderList.h"

#include "kel_util/TextUtil.h"

namespace kel_util {

int RFC822HeaderList::indexOf(std::string_view name) const {
    const auto it = index_.find(toLowerAscii(name));
    return it == index_.end() ? -1 : it->second;
}

RFC822ValueList& RFC822HeaderList::findOrInsert(std::string_view name) {
    cursor_ = indexOf(name);
    if (cursor_ < 0) {
        cursor_ = static_cast<int>(entries_.size());
        entries_.push_back(Entry{std::string(name), {}});
        index_.emplace(toLowerAscii(name), cursor_);
    }
    return entries_[static_cast<size_t>(cursor_)].values;
}

void RFC822HeaderList::addValue(std::string_view name, std::string_view value) { findOrInsert(name).add(value); }

void RFC822HeaderList::addValue(const char* name, const char* value) {
    if (name != nullptr) {
        findOrInsert(name).add(value);
    } else if (cursor_ >= 0) {
        entries_[static_cast<size_t>(cursor_)].values.add(value);
    }
}

void RFC822HeaderList::addValues(std::string_view name, const RFC822ValueList& values) {
    findOrInsert(name).addAll(values);
}

const std::string* RFC822HeaderList::getValue(std::string_view name, RFC822ValueList::Position position) {
    RFC822ValueList* values = find(name);
    return values != nullptr ? values->get(position) : nullptr;
}

RFC822ValueList* RFC822HeaderList::find(std::string_view name) {
    const int at = indexOf(name);
    if (at < 0) return nullptr;
    cursor_ = at;
    return &entries_[static_cast<size_t>(at)].values;
}

const RFC822ValueList* RFC822HeaderList::find(std::string_view name) const {
    const int at = indexOf(name);
    return at < 0 ? nullptr : &entries_[static_cast<size_t>(at)].values;
}

bool RFC822HeaderList::remove(std::string_view name) {
    const int at = indexOf(name);
    if (at < 0) return false;
    entries_.erase(entries_.begin() + at);
    index_.erase(toLowerAscii(name));
    for (auto& [key, position] : index_) {
        if (position > at) --position;
    }
    if (cursor_ == at) {
        cursor_ = -1;
    } else if (cursor_ > at) {
        --cursor_;
    }
    return true;
}

void RFC822HeaderList::clear() {
    entries_.clear();
    index_.clear();
    cursor_ = -1;
}

void RFC822HeaderList::print(std::string& out) const {
    for (const Entry& entry : entries_) {
        for (const std::string& value : entry.values.getValues()) {
            out.append(entry.name).append(": ").append(value).append("\r\n");
        }
    }
}

}  // namespace kel_util
