#include "kel_util/TextUtil.h"

#include <cstring>

namespace kel_util {
namespace {

bool inSet(const char* set, char c) { return c != '\0' && std::strchr(set, c) != nullptr; }

std::string_view trimSet(std::string_view text, const char* set) {
    while (!text.empty() && inSet(set, text.front())) text.remove_prefix(1);
    while (!text.empty() && inSet(set, text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

std::string toLowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = toLowerAscii(c);
    return lower;
}

std::string_view trimLinearSpace(std::string_view text) noexcept {
    while (!text.empty() && isLinearSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isLinearSpace(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<std::string> split(std::string_view text, char delimiter, const char* trimSetChars, bool skipEmpty) {
    std::vector<std::string> pieces;
    for (;;) {
        const size_t at = text.find(delimiter);
        std::string_view piece = text.substr(0, at);
        if (trimSetChars != nullptr) piece = trimSet(piece, trimSetChars);
        if (!piece.empty() || !skipEmpty) pieces.emplace_back(piece);
        if (at == std::string_view::npos) break;
        text.remove_prefix(at + 1);
    }
    return pieces;
}

std::string unquote(std::string_view text, const char* set) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (inSet(set, text[i]) && (i == 0 || text[i - 1] != '\\')) continue;
        out += text[i];
    }
    return out;
}

}  // namespace kel_util
