#include "phone/FilterList.h"

#include "kel_sip/syntax/SipMethod.h"
#include "kel_util/Decimal.h"
#include "kel_util/TextUtil.h"

namespace {

std::optional<FilterListEntry> parseEntry(std::string_view entry) {
    const auto colon = entry.find(':');
    FilterListEntry result;
    result.method = kel_sip::SipMethod::kindOf(kel_util::trimLinearSpace(entry.substr(0, colon)));
    if (result.method == kel_sip::SipMethod::Other) return std::nullopt;
    if (colon != std::string_view::npos) {
        const auto status = kel_util::parseDecimal(kel_util::trimLinearSpace(entry.substr(colon + 1)), 0, 699);
        if (!status || (*status != 0 && *status < 100)) return std::nullopt;
        result.status = static_cast<int>(*status);
    }
    return result;
}

}  // namespace

std::optional<std::vector<FilterListEntry>> parseFilterList(std::string_view text) {
    std::vector<FilterListEntry> entries;
    for (const std::string& entry : kel_util::split(text, ',', " \t", true)) {
        const auto parsed = parseEntry(entry);
        if (!parsed) return std::nullopt;
        entries.push_back(*parsed);
    }
    return entries;
}
