// The numbered events of the transport layer: the ones a transport hands to the transaction
// controller with each message, and the ones its listeners and pollers post inside a transport.
#pragma once

namespace kel_sip {

enum SipTransportEvent : int {
    // UDP listener -> SipUDPTransport workers: param1 a kel_util::Datagram* (owned by the event).
    SIPTRANSPORT_EVMSGTYPE_RECEIVEUDP = 2,
    // Transport -> transaction controller (SipTransportReceiver::takeReceivedMessage).
    SIPTRANSPORT_EVMSGTYPE_RECVSIPREQUEST = 10,     // a received request
    SIPTRANSPORT_EVMSGTYPE_RECVSIPRESPONSE = 11,    // a received response
    SIPTRANSPORT_EVMSGTYPE_TRANSPORTERROR = 12,     // a message was not sent; param2 the transaction ID
    SIPTRANSPORT_EVMSGTYPE_HEADERLENGTHERROR = 13,  // a response whose header part was too long
    // SipConnectionHandler -> TCP transport workers: param1 a SipMessageExt* (owned by the
    // event), param2 the ID of the connection it came on.
    SIPTCPTRANSPORT_EVMSGTYPE_RECVSIPMESSAGE = 20,
    // Poller thread -> SipConnectionHandler workers: param1 the handle of a ready socket.
    SIPTCPTRANSPORT_EVMSGTYPE_POLLEVENT = 21,
};

}  // namespace kel_sip
