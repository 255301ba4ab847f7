#include "kel_sip/syntax/SipViaAddressing.h"

#include "kel_sip/syntax/SipHostPort.h"
#include "kel_sip/syntax/SipTransportType.h"

namespace kel_sip {

SipPeerAddress responseDestination(const SipVia& topVia) {
    const SipHostPort& sentBy = topVia.getSentBy();
    const int fallbackPort = sentBy.port > 0 ? sentBy.port : defaultPort(transportTypeOf(topVia.getTransport()));
    SipPeerAddress destination;
    if (!topVia.getMaddr().empty()) {
        destination.host = bareHost(topVia.getMaddr());
        destination.port = fallbackPort;
        return destination;
    }
    destination.host = !topVia.getReceived().empty() ? bareHost(topVia.getReceived()) : sentBy.host;
    destination.port = topVia.getRport() > 0 ? topVia.getRport() : fallbackPort;
    if (destination.host.empty()) destination.clear();
    return destination;
}

bool stampReceived(SipVia& topVia, const SipPeerAddress& source) {
    if (source.empty()) return false;
    const bool rportRequested = topVia.getRport() == 0 && source.port > 0;
    // The source host is numeric, so a sent-by name never equals it and always gets one.
    const bool sameHost = topVia.getSentBy().equals(SipHostPort(source.host, topVia.getSentBy().port), kTransportUDP);
    if (rportRequested) topVia.setRport(source.port);
    // A received the sender wrote itself would steer the response to any address it names; it
    // is replaced by the source, as a proxy on the path would have done.
    const bool foreignReceived = !topVia.getReceived().empty();
    if (rportRequested || !sameHost || foreignReceived) topVia.setReceived(source.host);
    return true;
}

}  // namespace kel_sip
