// Where responses go and how a received request's top Via records its source
// (RFC 3261 sections 18.2.1 and 18.2.2, RFC 3581 sections 4 and 5).
#pragma once

#include "kel_sip/syntax/SipPeerAddress.h"
#include "kel_sip/syntax/SipVia.h"

namespace kel_sip {

// The address a response to the request with this top Via goes to: the maddr host when
// present, else the received host (or the sent-by host), an IPv6 one without brackets; the port is the rport value when
// set, else the sent-by port, else the default port of the Via's transport (5060, 5061 for
// TLS). With maddr, rport and received do not count (RFC 3261 section 18.2.2). Empty when the
// Via names no host.
SipPeerAddress responseDestination(const SipVia& topVia);

// Records the source of a received request in its top Via: "received" is added when the
// sent-by host is not the source address (a name, or another address), and always when the
// Via asks for rport (the parameter without a value), whose value then becomes the source
// port; a received the sender wrote is replaced by the source. False, with the Via unchanged,
// when the source is empty.
bool stampReceived(SipVia& topVia, const SipPeerAddress& source);

}  // namespace kel_sip
