// host [":" port] of a URI or a Via sent-by (RFC 3261 section 25.1: hostport). An IPv6
// reference is stored without its brackets and printed with them.
#pragma once

#include <string>
#include <string_view>

#include "kel_sip/syntax/SipParam.h"

namespace kel_sip {

class SipHostPort : public SipParam {
public:
    SipHostPort() = default;
    SipHostPort(std::string host, int port) : host(std::move(host)), port(port) {}

    bool empty() const override { return host.empty() && port == 0; }
    void clear() override;
    // "host", "host:port", "[v6]", "[v6]:port"; a bracketless text with two or more colons is
    // taken whole as an IPv6 host without port. An IPv6 host holds only hexadecimal digits,
    // ":", "." and an optional "%" zone; a host name holds no blank, control byte or URI
    // separator (" < > @ [ ] \ , ; ? /); the port must be 0..65535. Failures are wrapped in
    // "invalid hostport".
    void parse(const char* data, int length, bool clearFirst) override;
    // The port is printed only when greater than 0.
    void print(std::string& out) const override;

    // RFC 3261 section 19.1.4: hosts equal without case, or as IP literals naming the same
    // address ("::1" and "0:0::1"); ports by the default-port rule of the transport. Host names
    // are not looked up in DNS here: comparing must not block.
    bool equals(const SipHostPort& other, int transportType) const;

    std::string host;
    int port = 0;  // 0 = none

private:
    void parseText(std::string_view text);
};

// A host as the transport takes it: an IPv6 reference "[v6]" without its brackets, any other
// text unchanged. maddr holds a host (RFC 3261 section 25.1), so an IPv6 maddr comes bracketed,
// and peers send received bracketed too (RFC 5118 section 4.5).
std::string_view bareHost(std::string_view host);

}  // namespace kel_sip
