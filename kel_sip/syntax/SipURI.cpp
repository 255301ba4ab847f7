#include "kel_sip/syntax/SipURI.h"

#include <netdb.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "kel_sip/syntax/SipEscape.h"
#include "kel_sip/syntax/SipNumber.h"
#include "kel_sip/syntax/SipParseGuard.h"
#include "kel_sip/syntax/SipTokenizer.h"
#include "kel_sip/syntax/SipTransportType.h"
#include "kel_util/CharSet.h"
#include "kel_util/HeaderField.h"
#include "kel_util/TextUtil.h"

namespace kel_sip {
namespace {

constexpr size_t npos = std::string_view::npos;
constexpr int kMaxTtl = 255;  // RFC 3261 section 25.1: ttl = 1*3DIGIT ; 0 to 255
// The bytes that delimit an address never stand unescaped in a SIP URI (RFC 3261 25.1).
constexpr kel_util::CharSet kAddressDelimiters("<>\"");
constexpr kel_util::CharSet kUserEnd("@;?");  // after the user, or after the host without one
constexpr kel_util::CharSet kHostEnd(";?");   // after the host and after each parameter

// RFC 3986 section 3.1: scheme = ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ).
bool isScheme(std::string_view text) {
    const auto alpha = [](unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (text.empty() || !alpha(static_cast<unsigned char>(text[0]))) return false;
    for (const unsigned char c : text) {
        if (!alpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

// Bytes that cannot stand in the opaque part of a URI: they delimit the address around it.
bool isOpaqueText(std::string_view text) {
    for (const unsigned char c : text) {
        if (c <= ' ' || c == 0x7f || c == '<' || c == '>' || c == '"') return false;
    }
    return true;
}

void appendEscaped(std::string& out, const std::string& text, bool escapeText, SipEscapeSet set) {
    if (!escapeText) {
        out += text;
        return;
    }
    std::string copy = text;
    escape(copy, set);
    out += copy;
}

}  // namespace

void SipURI::Headers::add(std::string name, std::string value, bool hasValue) {
    list_.push_back(Header{std::move(name), std::move(value), hasValue});
}

bool SipURI::Headers::equals(const Headers& other) const {
    if (list_.size() != other.list_.size()) return false;
    // RFC 3261 section 19.1.4: the same headers in any order, escapes decoded. Sorted copies
    // keep a hostile URI with thousands of headers from costing a quadratic comparison.
    const auto normalised = [](const std::vector<Header>& list) {
        std::vector<Header> copy;
        copy.reserve(list.size());
        for (const Header& header : list) {
            copy.push_back(Header{kel_util::toLowerAscii(kel_sip::unescaped(header.name)), kel_sip::unescaped(header.value),
                                  header.hasValue});
        }
        std::sort(copy.begin(), copy.end(), [](const Header& a, const Header& b) {
            return std::tie(a.name, a.value, a.hasValue) < std::tie(b.name, b.value, b.hasValue);
        });
        return copy;
    };
    const std::vector<Header> mine = normalised(list_);
    const std::vector<Header> theirs = normalised(other.list_);
    return std::equal(mine.begin(), mine.end(), theirs.begin(), [](const Header& a, const Header& b) {
        return a.name == b.name && a.value == b.value && a.hasValue == b.hasValue;
    });
}

void SipURI::Headers::unescape() {
    for (Header& header : list_) {
        kel_sip::unescape(header.name);
        kel_sip::unescape(header.value);
    }
}

void SipURI::Headers::print(std::string& out, bool escapeText) const {
    for (size_t i = 0; i < list_.size(); ++i) {
        if (i > 0) out += '&';
        appendEscaped(out, list_[i].name, escapeText, SipEscapeSet::Header);
        if (!list_[i].hasValue) continue;
        out += '=';
        appendEscaped(out, list_[i].value, escapeText, SipEscapeSet::Header);
    }
}

bool SipURI::empty() const {
    return scheme.empty() && userInfo.empty() && hostPort.empty() && transportParam.empty() && userParam.empty() &&
           methodParam.empty() && ttl < 0 && maddr.empty() && !lr && parameters_.empty() && uriHeaders.empty() &&
           opaque.empty();
}

void SipURI::clear() {
    SipGenericField::clear();
    scheme.clear();
    userInfo.clear();
    hostPort.clear();
    transportParam.clear();
    userParam.clear();
    methodParam.clear();
    ttl = -1;
    maddr.clear();
    lr = false;
    uriHeaders.clear();
    opaque.clear();
}

void SipURI::parse(const char* data, int length, bool clearFirst) {
    guardedParse(*this, data, length, clearFirst, "invalid uri",
                 [this](std::string_view text) { parseText(SipTokenizer::trimLws(text)); });
}

void SipURI::parseText(std::string_view text) {
    if (text.empty()) throw SipParseException("no uri");
    const size_t colon = text.find(':');
    if (colon == npos || colon == 0) throw SipParseException("no scheme");
    if (!isScheme(text.substr(0, colon))) throw SipParseException("invalid scheme");
    scheme.assign(text.substr(0, colon));
    const std::string_view rest = text.substr(colon + 1);
    if (isSipUri()) {
        parseSipPart(rest);
        return;
    }
    if (rest.empty()) throw SipParseException("no uri info");
    if (!isOpaqueText(rest)) throw SipParseException("invalid uri info");
    opaque.assign(rest);
}

void SipURI::parseSipPart(std::string_view text) {
    if (text.empty()) throw SipParseException("no hostport");
    if (kAddressDelimiters.anyIn(text)) throw SipParseException("invalid uri char");
    size_t at = npos;
    const size_t hit = kUserEnd.findIn(text);
    if (hit != npos) {
        if (text[hit] == '@') {
            at = hit;
        } else if (text[hit] == '?' || !SipTokenizer::lwsAround(text, hit)) {
            at = SipTokenizer::userPartEnd(text, hit);
        }
    }
    size_t hostStart = 0;
    if (at != npos) {
        // userinfo is at least one byte before the "@" (RFC 3261 section 25.1); an empty one
        // prints without its "@", and a later "@" would then read as the user separator.
        if (at == 0) throw SipParseException("no user");
        userInfo.parse(text.data(), static_cast<int>(at), true);
        hostStart = at + 1;
        if (hostStart >= text.size()) throw SipParseException("no hostport");
    }
    size_t pos = kHostEnd.findIn(text, hostStart);
    const std::string_view host = text.substr(hostStart, pos == npos ? npos : pos - hostStart);
    hostPort.parse(host.data(), static_cast<int>(host.size()), true);
    while (pos != npos && text[pos] == ';') {
        const size_t next = kHostEnd.findIn(text, pos + 1);
        const std::string_view parameter = text.substr(pos + 1, next == npos ? npos : next - pos - 1);
        // An "@" is no parameter byte (RFC 3261 section 25.1); taking it would make the printed
        // URI read back with a user part. A ";" at the very end carries no parameter.
        if (parameter.find('@') != npos) throw SipParseException("invalid uri param");
        if (next != npos || !parameter.empty()) parseParameter(parameter.data(), static_cast<int>(parameter.size()));
        pos = next;
    }
    if (pos != npos) {
        // Without a user part, an "@" in the headers would read as the user separator once
        // the URI is printed without the LWS that kept it apart here.
        if (at == npos && text.find('@', pos) != npos) throw SipParseException("invalid uri header");
        parseHeaders(text.substr(pos + 1));
    }
}

void SipURI::parseHeaders(std::string_view text) {
    size_t start = 0;
    while (start <= text.size()) {
        const size_t amp = text.find('&', start);
        const std::string_view entry = text.substr(start, amp == npos ? npos : amp - start);
        const size_t equals = entry.find('=');
        const std::string_view name = SipTokenizer::trimLws(entry.substr(0, equals));
        if (!name.empty()) {
            const std::string_view value = equals == npos ? std::string_view() : SipTokenizer::trimLws(entry.substr(equals + 1));
            uriHeaders.add(std::string(name), std::string(value), equals != npos);
        }
        if (amp == npos) break;
        start = amp + 1;
    }
}

bool SipURI::takeParameter(std::string_view name, std::string_view value) {
    using kel_util::equalsIgnoreCase;
    if (equalsIgnoreCase(name, "transport")) {
        transportParam.assign(value);
    } else if (equalsIgnoreCase(name, "user")) {
        userParam.assign(value);
    } else if (equalsIgnoreCase(name, "method")) {
        methodParam.assign(value);
    } else if (equalsIgnoreCase(name, "maddr")) {
        maddr.assign(value);
    } else if (equalsIgnoreCase(name, "ttl")) {
        if (!value.empty()) ttl = parseInt(value, 0, kMaxTtl, "invalid ttl");
    } else if (equalsIgnoreCase(name, "lr")) {
        lr = true;
    } else {
        return false;
    }
    return true;
}

void SipURI::print(std::string& out, bool escapeUser, bool escapeParams, bool escapeHeaders) const {
    out += scheme;
    out += ':';
    if (!isSipUri()) {
        out += opaque;
        return;
    }
    if (!userInfo.user.empty()) {
        userInfo.print(out, escapeUser);
        out += '@';
    }
    hostPort.print(out);
    printParams(out, escapeParams);
    if (!uriHeaders.empty()) {
        out += '?';
        uriHeaders.print(out, escapeHeaders);
    }
}

void SipURI::printParams(std::string& out, bool escapeParams) const {
    if (!transportParam.empty()) {
        out += ";transport=";
        appendEscaped(out, transportParam, escapeParams, SipEscapeSet::Token);
    }
    if (!userParam.empty()) {
        out += ";user=";
        appendEscaped(out, userParam, escapeParams, SipEscapeSet::Token);
    }
    if (!methodParam.empty()) out += ";method=" + methodParam;
    if (ttl >= 0) out += ";ttl=" + std::to_string(ttl);
    if (!maddr.empty()) out += ";maddr=" + maddr;
    if (lr) out += ";lr";
    for (const Parameter& parameter : parameters_) {
        out += ';';
        appendEscaped(out, parameter.name, escapeParams, SipEscapeSet::Parameter);
        if (parameter.value.empty()) continue;
        out += '=';
        appendEscaped(out, parameter.value, escapeParams, SipEscapeSet::Parameter);
    }
}

void SipURI::unescape() {
    userInfo.unescape();
    kel_sip::unescape(transportParam);
    kel_sip::unescape(userParam);
    for (Parameter& parameter : parameters_) {
        kel_sip::unescape(parameter.name);
        kel_sip::unescape(parameter.value);
    }
    uriHeaders.unescape();
}

bool SipURI::hasParametersOrHeaders() const {
    return !transportParam.empty() || !userParam.empty() || !methodParam.empty() || ttl >= 0 || !maddr.empty() || lr ||
           !parameters_.empty() || !uriHeaders.empty();
}

bool SipURI::isSipUri() const {
    // Schemes are case-insensitive (RFC 3261 section 19.1.4): "SIP:" is a SIP URI too.
    return kel_util::equalsIgnoreCase(scheme, "sip") || kel_util::equalsIgnoreCase(scheme, "sips");
}

bool SipURI::isUsable() const {
    if (scheme.empty()) return false;
    if (isSipUri()) return !hostPort.host.empty();
    return kel_util::equalsIgnoreCase(scheme, "tel") && !opaque.empty();
}

int SipURI::transportType() const {
    if (!transportParam.empty()) return transportTypeOf(transportParam);
    return kel_util::equalsIgnoreCase(scheme, "sips") ? kTransportTLS : kTransportNone;
}

bool SipURI::equals(const SipURI& other) const {
    using kel_util::equalsIgnoreCase;
    if (!equalsIgnoreCase(scheme, other.scheme)) return false;
    if (!isSipUri()) return opaque == other.opaque;
    return userInfo.equals(other.userInfo) && equalsIgnoreCase(transportParam, other.transportParam) &&
           equalsIgnoreCase(userParam, other.userParam) && equalsIgnoreCase(methodParam, other.methodParam) &&
           equalsIgnoreCase(maddr, other.maddr) && hostPort.equals(other.hostPort, transportType()) &&
           ttl == other.ttl && lr == other.lr && uriHeaders.equals(other.uriHeaders) && containsParameters(other);
}

SipURI::Target SipURI::target() const {
    Target result;
    result.host = maddr.empty() ? hostPort.host : std::string(bareHost(maddr));
    result.transportType = transportType();
    result.port = hostPort.port > 0 ? hostPort.port : defaultPort(result.transportType);
    return result;
}

bool SipURI::resolveTarget(sockaddr_storage& address, socklen_t& length) const {
    const Target where = target();
    if (where.host.empty() || where.host.find('\0') != std::string::npos) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = where.transportType == kTransportUDP || where.transportType == kTransportNone ? SOCK_DGRAM : SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(where.host.c_str(), std::to_string(where.port).c_str(), &hints, &found) != 0 || found == nullptr) return false;
    std::memset(&address, 0, sizeof address);
    std::memcpy(&address, found->ai_addr, found->ai_addrlen);
    length = found->ai_addrlen;
    freeaddrinfo(found);
    return true;
}

}  // namespace kel_sip
