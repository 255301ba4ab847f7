#include "phone/FilterList.h"

#include "kel_sip/syntax/SipMethod.h"
#include "kel_util/Decimal.h"

namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<FilterListEntry> parseEntry(std::string_view entry) {
    const auto colon = entry.find(':');
    FilterListEntry result;
    result.method = kel_sip::SipMethod::kindOf(trimmed(entry.substr(0, colon)));
    if (result.method == kel_sip::SipMethod::Other) return std::nullopt;
    if (colon != std::string_view::npos) {
        const auto status = kel_util::parseDecimal(trimmed(entry.substr(colon + 1)), 0, 699);
        if (!status || (*status != 0 && *status < 100)) return std::nullopt;
        result.status = static_cast<int>(*status);
    }
    return result;
}

}  // namespace

std::optional<std::vector<FilterListEntry>> parseFilterList(std::string_view text) {
    std::vector<FilterListEntry> entries;
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view entry = trimmed(text.substr(0, comma));
        if (!entry.empty()) {
            const auto parsed = parseEntry(entry);
            if (!parsed) return std::nullopt;
            entries.push_back(*parsed);
        }
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return entries;
}
