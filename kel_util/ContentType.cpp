#include "kel_util/ContentType.h"

#include "kel_util/StringTokenizer.h"
#include "kel_util/TextUtil.h"

namespace kel_util {
namespace {

std::string_view withoutQuotes(std::string_view value) {
    while (!value.empty() && value.front() == '"') value.remove_prefix(1);
    while (!value.empty() && value.back() == '"') value.remove_suffix(1);
    return value;
}

}  // namespace

void ContentType::clear() {
    type.clear();
    subType.clear();
    boundary.clear();
    clearParameters();
}

bool ContentType::parse(const char* text, int length, bool clearFirst) {
    if (clearFirst) clear();
    if (parseFields(text, length)) return true;
    if (clearFirst) clear();
    return false;
}

bool ContentType::isMultipart() const { return equalsIgnoreCase(type, "multipart"); }

bool ContentType::parseFields(const char* text, int length) {
    StringTokenizer tokenizer(text, length);
    int len = 0;
    bool found = false;
    const char* token = tokenizer.nextToken('/', len, &found);
    if (token == nullptr || !found) return false;
    const std::string_view typeText = trimLinearSpace(std::string_view(token, static_cast<size_t>(len)));
    if (typeText.empty()) return false;
    type = typeText;

    token = tokenizer.nextToken(';', len, &found);
    if (token == nullptr) return false;
    const std::string_view subTypeText = trimLinearSpace(std::string_view(token, static_cast<size_t>(len)));
    if (subTypeText.empty()) return false;
    subType = subTypeText;

    while (found) {
        token = tokenizer.nextQuotedToken(';', len, &found);
        if (token == nullptr) break;
        if (!parseParameter(std::string_view(token, static_cast<size_t>(len)), !found)) return false;
    }
    return true;
}

bool ContentType::parseParameter(std::string_view text, bool last) {
    // Only blanks after a trailing semicolon: nothing more to read.
    if (trimLinearSpace(text).empty()) return last;
    const size_t equals = text.find('=');
    const std::string_view name = trimLinearSpace(text.substr(0, equals));
    if (name.empty()) return false;
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : trimLinearSpace(text.substr(equals + 1));
    if (equalsIgnoreCase(name, "boundary")) {
        boundary = withoutQuotes(value);
    } else {
        setParameter(name, value);
    }
    return true;
}

}  // namespace kel_util
