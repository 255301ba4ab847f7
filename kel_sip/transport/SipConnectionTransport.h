// A transport that keeps connections (TCP): the connection controls the transaction
// controller forwards through SipTransportUser.
//
// Threads: every operation may be called from any thread.
#pragma once

#include <chrono>

#include "kel_sip/transport/SipTransportBase.h"
#include "kel_util/SocketAddress.h"

namespace kel_sip {

class SipConnectionTransport : public SipTransportBase {
public:
    using SipTransportBase::SipTransportBase;

    // Connects to address, first closing a connection already open to it; the new
    // connection's ID, or -1 on failure.
    virtual int connect(const kel_util::SocketAddress& address, std::chrono::milliseconds timeout) = 0;
    // Closes one connection; false when there is no such connection.
    virtual bool disconnect(int connectionId) = 0;
    // Stops the application connection control timer of one connection.
    virtual void stopAppConnControlTimer(int connectionId) = 0;
};

}  // namespace kel_sip
