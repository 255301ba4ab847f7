// The text form of a message filter list: entries separated by ",", each a method name,
// optionally followed by ":" and a status code (0 or absent = every status).
#pragma once

#include <optional>
#include <string_view>
#include <vector>

struct FilterListEntry {
    int method = -1;  // a method kind of the SIP syntax layer
    int status = 0;   // 0 = every status, else 100..699

    bool operator==(const FilterListEntry&) const = default;
};

// The entries of text; blanks around entries are ignored, and so are empty entries. nullopt
// when a method is not a known one or a status is not 0 or 100..699.
std::optional<std::vector<FilterListEntry>> parseFilterList(std::string_view text);
