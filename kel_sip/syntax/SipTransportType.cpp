#include "kel_sip/syntax/SipTransportType.h"

#include "kel_util/HeaderField.h"

namespace kel_sip {
namespace {

constexpr const char* kNames[] = {"UDP", "TCP", "TLS", "SCTP"};
constexpr int kCount = static_cast<int>(sizeof kNames / sizeof kNames[0]);

}  // namespace

int transportTypeOf(std::string_view name) {
    for (int type = 0; type < kCount; ++type) {
        if (kel_util::equalsIgnoreCase(name, kNames[type])) return type;
    }
    return kTransportNone;
}

const char* transportName(int type) { return type >= 0 && type < kCount ? kNames[type] : ""; }

int defaultPort(int transportType) { return transportType == kTransportTLS ? 5061 : 5060; }

bool portsEqual(int a, int b, int transportType) {
    if (a == b) return true;
    const int port = defaultPort(transportType);
    return (a == 0 && b == port) || (b == 0 && a == port);
}

bool isReliableTransport(int transportType) {
    return transportType == kTransportTCP || transportType == kTransportTLS || transportType == kTransportSCTP;
}

}  // namespace kel_sip
