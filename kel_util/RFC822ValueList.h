// The values of one header name, in the order added, with a cursor into them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kel_util {

class RFC822ValueList {
public:
    enum Position { First, Last, Current, Next };

    // Appends a value and points the cursor at it; a null value appends an empty string.
    void add(std::string_view value);
    void add(const char* value);
    // Appends copies of all values of other.
    void addAll(const RFC822ValueList& other);
    // First and Last move the cursor there, Current reads under it, Next moves it one on.
    // Null past the end and on an empty list.
    const std::string* get(Position position);

    void clear();
    bool empty() const { return values_.empty(); }
    int size() const { return static_cast<int>(values_.size()); }
    const std::vector<std::string>& getValues() const { return values_; }

private:
    std::vector<std::string> values_;
    // Index of the value under the cursor; -1 before the first, size() past the end.
    int cursor_ = -1;
};

}  // namespace kel_util
