#include "kel_sip/syntax/SipAddress.h"

#include "kel_sip/syntax/SipParseGuard.h"
#include "kel_sip/syntax/SipTokenizer.h"
#include "kel_util/CharSet.h"

namespace kel_sip {
namespace {

// True when text is one quoted-string: it opens with a quote whose closing quote (one not
// preceded by an odd number of backslashes) is its last byte.
bool isOneQuotedString(std::string_view text) {
    if (text.size() < 2 || text.front() != '"') return false;
    int backslashes = 0;
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++backslashes;
            continue;
        }
        if (text[i] == '"' && backslashes % 2 == 0) return i + 1 == text.size();
        backslashes = 0;
    }
    return false;
}

// Appends a display name. One received unquoted with a comma (RFC 3261 allows only tokens
// there, but peers send "Bell, Alexander") is quoted on output: bare, the comma would split the
// address list when the header is read again.
void printDisplayName(std::string& out, std::string_view name) {
    if (name.find(',') == std::string_view::npos || isOneQuotedString(name)) {
        out += name;
        return;
    }
    out += '"';
    for (char c : name) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
}

}  // namespace

void SipAddress::clear() {
    displayName.clear();
    uri.clear();
    brackets = true;
}

void SipAddress::parse(const char* data, int length, bool clearFirst) {
    guardedParse(*this, data, length, clearFirst, "invalid address", [this](std::string_view text) { parseText(text); });
}

void SipAddress::parseText(std::string_view text) {
    SipTokenizer tokenizer(text);
    int len = 0;
    bool found = false;
    const char* name = tokenizer.nextQuotedTrimmedToken('<', len, &found);
    if (name == nullptr) throw SipParseException("no address");
    if (!found) {
        // A ">" in a bare addr-spec would land inside the brackets print adds when the URI has
        // parameters, and end them early.
        if (text.find('>') != std::string_view::npos) throw SipParseException("invalid address format");
        uri.parse(text.data(), static_cast<int>(text.size()), true);
        brackets = false;
        return;
    }
    const std::string_view display = SipTokenizer::trimLws(std::string_view(name, static_cast<size_t>(len)));
    // A line break left in the display name would be printed as a header line break.
    constexpr kel_util::CharSet kLineBreak("\r\n");
    if (kLineBreak.anyIn(display)) throw SipParseException("invalid display name");
    bool closed = false;
    const char* uriText = tokenizer.nextToken('>', len, &closed);
    if (!closed) throw SipParseException("invalid address format");
    uri.parse(uriText, len, true);
    displayName.assign(display);
    brackets = true;
}

void SipAddress::print(std::string& out, bool escape, bool forceBrackets) const {
    constexpr kel_util::CharSet kUserDelimiters(",;?");
    const bool needsBrackets = brackets || forceBrackets || !displayName.empty() || uri.hasParametersOrHeaders() ||
                               kUserDelimiters.anyIn(uri.userInfo.user);
    if (!displayName.empty()) {
        printDisplayName(out, displayName);
        out += ' ';
    }
    if (needsBrackets) out += '<';
    uri.print(out, escape, escape, escape);
    if (needsBrackets) out += '>';
}

}  // namespace kel_sip
