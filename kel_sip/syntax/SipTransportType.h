// SIP transport names, their numbers and default ports (RFC 3261 sections 18 and 19.1.2).
#pragma once

#include <string_view>

namespace kel_sip {

enum SipTransportType : int { kTransportNone = -1, kTransportUDP = 0, kTransportTCP = 1, kTransportTLS = 2, kTransportSCTP = 3 };

// "UDP", "TCP", "TLS", "SCTP" compared case-insensitively; any other name is -1.
int transportTypeOf(std::string_view name);
// The upper-case name, or "" outside 0..3.
const char* transportName(int type);
// 5061 for TLS, 5060 for every other transport.
int defaultPort(int transportType);
// Equal when the same number, or when one is 0 (absent) and the other is the transport's default.
bool portsEqual(int a, int b, int transportType);
// TCP, TLS and SCTP: no retransmissions, and responses go back on the request's connection
// (RFC 3261 sections 17 and 18.2.2).
bool isReliableTransport(int transportType);

}  // namespace kel_sip
