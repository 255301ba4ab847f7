#include "kel_sip/transport/SipTCPTransport.h"

#include "kel_sip/transport/SipTCPConnection.h"

namespace kel_sip {

SipTCPTransport::SipTCPTransport(SipTransportReceiver& receiver, int transportId)
    : SipTCPTransportBase(receiver, transportId,
                          [](std::unique_ptr<kel_util::Socket> socket, const kel_util::SocketAddress& peer) {
                              return std::make_unique<SipTCPConnection>(std::move(socket), peer);
                          }) {}

}  // namespace kel_sip
