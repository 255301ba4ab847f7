#include "kel_sip/syntax/SipHostPort.h"

#include <arpa/inet.h>

#include <array>

#include "kel_sip/syntax/SipNumber.h"
#include "kel_sip/syntax/SipParseGuard.h"
#include "kel_sip/syntax/SipTokenizer.h"
#include "kel_sip/syntax/SipTransportType.h"
#include "kel_util/CharSet.h"
#include "kel_util/HeaderField.h"

namespace kel_sip {
namespace {

constexpr int kMaxPort = 65535;
constexpr const char* kInvalidPort = "invalid port";

// The 16-byte form of an IPv4 or IPv6 literal, or false when host is no literal.
bool literalAddress(const std::string& host, std::array<unsigned char, 16>& bytes) {
    bytes.fill(0);
    if (host.find('\0') != std::string::npos) return false;
    if (inet_pton(AF_INET6, host.c_str(), bytes.data()) == 1) return true;
    // IPv4 maps into the IPv4-mapped IPv6 range so one comparison serves both.
    bytes[10] = bytes[11] = 0xff;
    return inet_pton(AF_INET, host.c_str(), bytes.data() + 12) == 1;
}

// The text of an IPv6 reference: hexadecimal digits, ":" and "." (an embedded IPv4 address),
// at least one ":", and optionally a zone "%..." of unreserved bytes (RFC 6874). Anything else
// would print as "[...]" that no longer parses back.
bool isHexDigit(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool isZoneByte(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == '%';
}

// Bytes that never stand in a host name and would change how the printed URI reads back:
// separators of the URI and the address around it, blanks and control bytes.
constexpr kel_util::CharSet kHostSeparators("\"<>@[]\\,;?/");

bool isHostName(std::string_view text) {
    for (const unsigned char c : text) {
        if (c <= ' ' || c == 0x7f || kHostSeparators.contains(static_cast<char>(c))) return false;
    }
    return true;
}

bool isIpv6Text(std::string_view text) {
    const size_t zone = text.find('%');
    const std::string_view address = text.substr(0, zone);
    if (address.find(':') == std::string_view::npos) return false;
    for (const unsigned char c : address) {
        if (!isHexDigit(c) && c != ':' && c != '.') return false;
    }
    if (zone == std::string_view::npos) return true;
    for (const unsigned char c : text.substr(zone + 1)) {
        if (!isZoneByte(c)) return false;
    }
    return zone + 1 < text.size();
}

}  // namespace

void SipHostPort::clear() {
    host.clear();
    port = 0;
}

void SipHostPort::parse(const char* data, int length, bool clearFirst) {
    guardedParse(*this, data, length, clearFirst, "invalid hostport",
                 [this](std::string_view text) { parseText(SipTokenizer::trimLws(text)); });
}

void SipHostPort::parseText(std::string_view text) {
    if (text.empty()) throw SipParseException("no hostport");
    if (text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos || !isIpv6Text(text.substr(1, close - 1))) {
            throw SipParseException("invalid ipv6 address");
        }
        std::string_view after = text.substr(close + 1);
        if (!after.empty() && after.front() != ':') throw SipParseException("invalid ipv6 address");
        after = after.empty() ? after : after.substr(1);
        const int parsedPort = after.empty() ? 0 : parseInt(after, 0, kMaxPort, kInvalidPort);
        host.assign(text.substr(1, close - 1));
        port = parsedPort;
        return;
    }
    const size_t colon = text.find(':');
    if (colon != std::string_view::npos && text.find(':', colon + 1) != std::string_view::npos) {
        // A bare IPv6 address: its colons are no port separator.
        if (!isIpv6Text(text)) throw SipParseException("invalid ipv6 address");
        host.assign(text);
        port = 0;
        return;
    }
    const std::string_view name = SipTokenizer::trimLws(text.substr(0, colon));
    if (name.empty()) throw SipParseException("no host");
    if (!isHostName(name)) throw SipParseException("invalid host");
    int parsedPort = 0;
    if (colon != std::string_view::npos && colon + 1 < text.size()) parsedPort = parseInt(text.substr(colon + 1), 0, kMaxPort, kInvalidPort);
    host.assign(name);
    port = parsedPort;
}

void SipHostPort::print(std::string& out) const {
    const bool bracket = host.find(':') != std::string::npos;
    if (bracket) out += '[';
    out += host;
    if (bracket) out += ']';
    if (port > 0) {
        out += ':';
        out += std::to_string(port);
    }
}

bool SipHostPort::equals(const SipHostPort& other, int transportType) const {
    if (!portsEqual(port, other.port, transportType)) return false;
    if (kel_util::equalsIgnoreCase(host, other.host)) return true;
    std::array<unsigned char, 16> mine{};
    std::array<unsigned char, 16> theirs{};
    return literalAddress(host, mine) && literalAddress(other.host, theirs) && mine == theirs;
}

std::string_view bareHost(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
    return host;
}

}  // namespace kel_sip
