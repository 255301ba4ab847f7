// Finds an Internet gateway device by an SSDP search (multicast to the SSDP group, or unicast
// to a known device) and reads the location of its description and the service type from the
// first answer. Synchronous, on the caller's thread.
#pragma once

#include "kel_util/Socket.h"
#include "kel_util/SocketAddress.h"

#include <string>

class SSDPController {
public:
    static constexpr const char* kMultiCastAddress = "239.255.255.250";
    static constexpr int kPort = 1900;
    static constexpr const char* kWANPPPConnection = "urn:schemas-upnp-org:service:WANPPPConnection:1";
    static constexpr const char* kWANIPConnection = "urn:schemas-upnp-org:service:WANIPConnection:1";

    struct Answer {
        std::string location;
        std::string serviceType;
    };

    // Searches the SSDP group (deviceAddress empty) or one device, from sourceAddress when it
    // is not empty, and waits timeoutSec for the first answer. False, logged, when no valid
    // answer came.
    bool search(const std::string& deviceAddress, const std::string& sourceAddress, int timeoutSec, Answer& answer);

private:
    bool openMulti(const std::string& sourceAddress);
    bool open(const std::string& deviceAddress, const std::string& sourceAddress);
    bool bindSource(const std::string& sourceAddress, int family);
    bool sendSearch(const char* serviceType, int mx);
    bool receive(int timeoutSec, Answer& answer);

    kel_util::DatagramSocket socket_;
    kel_util::SocketAddress destination_;
};
