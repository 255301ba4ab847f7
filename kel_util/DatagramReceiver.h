// What a UDP listener hands each datagram it reads to, on its own thread.
#pragma once

#include "kel_util/SocketAddress.h"

namespace kel_util {

class UDPSenderBase;

class DatagramReceiver {
public:
    virtual ~DatagramReceiver() = default;

    // One datagram of length bytes (at least 1) that listener read from `from`; data is only
    // valid during the call. The listener reads nothing else until the call returns, so a
    // receiver that works long on a datagram leaves the rest waiting in the socket's buffer.
    virtual void onDatagram(const char* data, int length, const SocketAddress& from, UDPSenderBase& listener) = 0;
};

}  // namespace kel_util
