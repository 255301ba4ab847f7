#include "kel_sip/syntax/SipMessageParser.h"

#include <climits>

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipLineUnfold.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipSwitches.h"
#include "kel_sip/syntax/SipTokenizer.h"
#include "kel_util/CharSet.h"
#include "kel_util/Decimal.h"
#include "kel_util/HeaderField.h"
#include "kel_util/HeaderLine.h"

namespace kel_sip {
namespace {

constexpr kel_util::CharSet kLineBreak("\r\n");

// The messages of an error and its causes joined by ", " (the text form without the code).
std::string errorText(const kel_util::Throwable& error) {
    std::string text = error.getMessage();
    for (const kel_util::Throwable* cause = error.getCause(); cause != nullptr; cause = cause->getCause()) {
        text += ", ";
        text += cause->getMessage();
    }
    return text;
}

std::string wrapped(const char* what, const kel_util::Throwable& error) {
    return std::string(what) + ", (" + errorText(error) + ")";
}

// The next start-line token: the text up to a single space, or the rest when last.
std::string_view nextStartToken(std::string_view& rest, bool last) {
    if (last) {
        const std::string_view token = rest;
        rest = {};
        return token;
    }
    const size_t space = rest.find(' ');
    const std::string_view token = rest.substr(0, space);
    rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
    return token;
}

}  // namespace

bool SipMessage::Parser::parseStartLine(std::string_view line) {
    line = unfoldLine(line, scratch_);
    try {
        // The start line is never folded (RFC 3261 section 7.1): a line break inside it would
        // be printed into the start line and split it.
        if (kLineBreak.anyIn(line)) throw SipParseException("line break in start line");
        if (line.size() >= 4 && kel_util::equalsIgnoreCase(line.substr(0, 4), "SIP/")) {
            parseStatusLine(line);
        } else {
            parseRequestLine(line);
        }
        return true;
    } catch (const kel_util::Throwable& error) {
        fail(wrapped("invalid first line", error));
        return false;
    } catch (const std::exception& error) {
        fail(std::string("invalid first line, (") + error.what() + ")");
        return false;
    }
}

void SipMessage::Parser::parseStatusLine(std::string_view line) {
    if (line.find(' ') == std::string_view::npos) throw SipParseException("no version");
    std::string_view rest = line;
    const std::string_view version = nextStartToken(rest, false);
    if (version.empty()) throw SipParseException("no version");
    if (rest.empty()) throw SipParseException("no status code");
    const bool hasPhrase = rest.find(' ') != std::string_view::npos;
    const std::string_view code = nextStartToken(rest, false);
    // RFC 3261 section 7.2: three digits, a class from 1 to 6.
    const auto value = kel_util::parseDecimal(code, 100, 699);
    if (!value) throw SipParseException("invalid status code");
    if (!hasPhrase || rest.empty()) throw SipParseException("no reason phrase");
    message_.isRequest = false;
    message_.sipVersion.assign(version);
    message_.statusCode = static_cast<int>(*value);
    message_.reasonPhrase.assign(rest);
}

void SipMessage::Parser::parseRequestLine(std::string_view line) {
    std::string_view rest = line;
    const std::string_view method = nextStartToken(rest, false);
    if (method.empty()) throw SipParseException("no method");
    const std::string_view uri = nextStartToken(rest, false);
    if (uri.empty()) throw SipParseException("no request URI");
    const std::string_view version = nextStartToken(rest, false);
    if (version.empty()) throw SipParseException("no version");
    // Blanks may trail the version (RFC 4475 section 3.1.2.10), nothing else: a Request-URI
    // with a blank inside would leave its tail here (section 3.1.2.8).
    if (rest.find_first_not_of(" \t") != std::string_view::npos) throw SipParseException("text after version");
    message_.isRequest = true;
    message_.setMethod(method);
    message_.requestUri.parse(uri.data(), static_cast<int>(uri.size()), true);
    message_.sipVersion.assign(version);
    if (sipSwitch(SipSwitch::UnEscapeRequestURI)) message_.requestUri.unescape();
}

void SipMessage::Parser::parseHeader(std::string_view line, bool folded) {
    if (folded) line = unfoldLine(line, scratch_);
    std::string_view name;
    std::string_view value;
    if (!kel_util::splitHeaderLine(line.data(), static_cast<int>(line.size()), name, value)) return;
    value = value.substr(0, value.size() - static_cast<size_t>(SipTokenizer::lwsBefore(value.data(), static_cast<int>(value.size()))));
    const int kind = SipHeader::kindOf(name.data(), static_cast<int>(name.size()));
    try {
        dispatch(kind, name, value);
    } catch (const kel_util::Throwable& error) {
        fail(wrapped("unkown error", error));
    } catch (const std::exception& error) {
        fail(std::string("unkown error, (") + error.what() + ")");
    }
}

void SipMessage::Parser::dispatch(int kind, std::string_view name, std::string_view value) {
    if (!firstOfSingleValue(kind)) return;
    switch (kind) {
        case SipHeader::ContentType:
            message_.contentType.assign(value);
            return;
        case SipHeader::ContentLength:
            parseContentLength(value);
            return;
        case SipHeader::CallId:
            message_.callId.assign(value);
            return;
        case SipHeader::CSeq:
            try {
                message_.cseq.parse(value.data(), static_cast<int>(value.size()), true);
            } catch (const SipParseException& error) {
                message_.cseq.clear();
                message_.unparsedCSeq.assign(value);
                for (char& c : message_.unparsedCSeq) {  // it goes back out in a header line
                    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
                }
                fail(wrapped("invalid CSeq", error));
            }
            return;
        case SipHeader::From:
            parseFromTo(message_.from, value, "invalid From", sipSwitch(SipSwitch::UnEscapeFrom));
            return;
        case SipHeader::To:
            parseFromTo(message_.to, value, "invalid To", sipSwitch(SipSwitch::UnEscapeTo));
            return;
        case SipHeader::MaxForwards:
            parseMaxForwards(value);
            return;
        case SipHeader::RecordRoute:
            parseRoutes(message_.recordRoutes, value, "invalid Record-Route", sipSwitch(SipSwitch::UnEscapeRecordRoute));
            return;
        case SipHeader::Route:
            parseRoutes(message_.routes, value, "invalid Route", sipSwitch(SipSwitch::UnEscapeRoute));
            return;
        case SipHeader::Via:
            parseVias(value);
            return;
        case SipHeader::Unknown:
            message_.headers.addValue(name, value);
            return;
        default:
            message_.typedHeaders.add(kind, value);
            return;
    }
}

bool SipMessage::Parser::firstOfSingleValue(int kind) {
    // RFC 3261 section 7.3.1: these carry one value; a second one leaves it open which of them
    // the sender meant (RFC 4475 section 3.3.8), so the message is bad.
    const char* name = nullptr;
    switch (kind) {
        case SipHeader::CallId: name = "Call-ID"; break;
        case SipHeader::CSeq: name = "CSeq"; break;
        case SipHeader::From: name = "From"; break;
        case SipHeader::To: name = "To"; break;
        case SipHeader::MaxForwards: name = "Max-Forwards"; break;
        default: return true;
    }
    const unsigned bit = 1u << kind;
    if ((singleValuesSeen_ & bit) == 0) {
        singleValuesSeen_ |= bit;
        return true;
    }
    fail(std::string("more than one ") + name);
    return false;
}

void SipMessage::Parser::parseContentLength(std::string_view value) {
    // Digits only and no larger than the message may be: a negative, signed, oversized or
    // second, different value would let the body run into the next message.
    const auto length = kel_util::parseDecimal(value, 0, maxContentLength_);
    if (!length || (contentLength_ >= 0 && contentLength_ != *length)) {
        fail("invalid Content-Length");
        return;
    }
    contentLength_ = static_cast<int>(*length);
}

void SipMessage::Parser::parseMaxForwards(std::string_view value) {
    const auto hops = kel_util::parseDecimal(value, 0, INT_MAX);
    if (!hops) {
        fail("invalid Max-Forwards");
        return;
    }
    message_.maxForwards = static_cast<int>(*hops);
}

void SipMessage::Parser::parseFromTo(SipFromTo& field, std::string_view value, const char* what, bool unescape) {
    try {
        field.parse(value.data(), static_cast<int>(value.size()), false);
        if (unescape) field.unescape();
    } catch (const SipParseException& error) {
        fail(wrapped(what, error));
    }
}

void SipMessage::Parser::parseVias(std::string_view value) {
    SipTokenizer tokenizer(value);
    int length = 0;
    // A comma inside a quoted parameter value (RFC 3261 section 25.1 gen-value) separates nothing.
    while (const char* element = tokenizer.nextQuotedTrimmedToken(',', length)) {
        // Parsed in its place in the list: a Via is large, and moving a finished one in costs
        // as much as parsing it.
        SipVia& via = message_.vias.emplace_back();
        try {
            via.parse(element, length, false);
        } catch (const SipParseException& error) {
            message_.vias.pop_back();
            fail(wrapped("invalid Via", error));
        }
    }
}

void SipMessage::Parser::parseRoutes(std::vector<SipRoute>& list, std::string_view value, const char* what,
                                     bool unescape) {
    SipTokenizer tokenizer(value);
    int length = 0;
    while (const char* element = tokenizer.nextAddress(length)) {
        if (length == 0) continue;
        SipRoute& route = list.emplace_back();  // in place, as for Via
        try {
            route.parse(element, length, false);
            if (unescape) route.unescape();
        } catch (const SipParseException& error) {
            list.pop_back();
            fail(wrapped(what, error));
        }
    }
}

}  // namespace kel_sip
