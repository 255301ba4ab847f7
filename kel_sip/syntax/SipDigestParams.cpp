#include "kel_sip/syntax/SipDigestParams.h"

#include "kel_sip/syntax/SipFieldParse.h"
#include "kel_sip/syntax/SipParam.h"
#include "kel_sip/syntax/SipParseException.h"
#include "kel_sip/syntax/SipTokenizer.h"
#include "kel_util/HeaderField.h"

namespace kel_sip {
namespace {

std::string_view view(const char* data, int length) { return {data, static_cast<std::size_t>(length)}; }

// The value at the tokenizer's position, which must not be at the end.
std::string_view readValue(SipTokenizer& tokenizer) {
    int length = 0;
    if (*tokenizer.rest() != '"') {
        const char* value = tokenizer.nextTrimmedToken(',', length);
        // A token never holds a quote (RFC 2617 section 1.2); one here would be printed inside
        // the quotes of a quoted value and end it early.
        if (view(value, length).find('"') != std::string_view::npos) throw SipParseException("invalid value");
        return view(value, length);
    }
    tokenizer.advance(1);
    bool closed = false;
    const char* value = tokenizer.nextToken('"', length, &closed);
    if (value == nullptr || !closed) throw SipParseException("invalid value");
    int skipped = 0;
    tokenizer.nextTrimmedToken(',', skipped);
    return view(value, length);
}

// The parameter loop of parseDigestParam, throwing the unwrapped errors.
void readDigestParameters(const char* data, int length, const char* unsupportedScheme,
                          const std::function<void(std::string_view name, std::string_view value)>& take) {
    SipTokenizer tokenizer(data, length);
    int schemeLength = 0;
    const char* scheme = tokenizer.nextWord(schemeLength);
    if (scheme == nullptr) throw SipParseException("no challenge name");
    // The whole word must be the scheme: a mere prefix such as "Dig" is another scheme.
    if (!kel_util::equalsIgnoreCase(view(scheme, schemeLength), "Digest")) throw SipParseException(unsupportedScheme);
    for (;;) {
        int nameLength = 0;
        const char* name = tokenizer.nextTrimmedToken('=', nameLength);
        if (name == nullptr) return;
        if (tokenizer.atEnd()) throw SipParseException("invalid param");
        const std::string_view value = readValue(tokenizer);
        take(view(name, nameLength), value);
    }
}

}  // namespace

void parseDigestParam(SipParam& param, const char* data, int length, bool clearFirst, const char* wrapper,
                      const char* unsupportedScheme,
                      const std::function<void(std::string_view name, std::string_view value)>& take) {
    if (clearFirst) param.clear();
    try {
        readDigestParameters(data, length, unsupportedScheme, take);
    } catch (const SipParseException& e) {
        if (clearFirst) param.clear();
        throw SipParseException(wrapper, e);
    }
}

void DigestParameterWriter::add(std::string_view name, std::string_view value, bool quoted) {
    out_ += first_ ? "Digest " : ", ";
    first_ = false;
    out_ += name;
    out_ += '=';
    // A value written as a token must be one: anything else (a comma, a space) would split or
    // end the parameter when read back, so such a value keeps its quotes.
    if (!quoted && !isSipToken(value)) quoted = true;
    if (quoted) out_ += '"';
    out_ += value;
    if (quoted) out_ += '"';
}

void DigestParameterWriter::addIfSet(std::string_view name, std::string_view value, bool quoted) {
    if (!value.empty()) add(name, value, quoted);
}

}  // namespace kel_sip
