// The local address the phone works on: given with -a, or chosen among the addresses of the
// host's interfaces.
#pragma once

#include <string>
#include <vector>

struct LocalAddress {
    std::string address;     // as chosen, an IPv6 zone ("%eth0") included
    std::string withoutZone; // the text before "%": what Via, Contact and SDP carry
    std::string hostName;
    int family = 0;          // AF_INET or AF_INET6
};

class LocalAddressChooser {
public:
    // The numeric addresses of the interfaces that are up, IPv4 and IPv6, without "::1":
    // addresses of other interfaces first, loopback addresses last, so that the first one is
    // the one other equipment can reach. Empty when none can be read.
    static std::vector<std::string> interfaceAddresses();

    // Takes the first of candidates. With several, note says on one line which was taken and
    // how to take another with -a; with one, note is empty. False when candidates is empty.
    static bool choose(const std::vector<std::string>& candidates, std::string& chosen, std::string& note);

    // Resolves address (numeric, or a name) into result with its zone-less text and family;
    // false with error "Failed to set SocketAddress=[...]." when it does not resolve.
    static bool resolve(const std::string& address, const std::string& hostName, LocalAddress& result,
                        std::string& error);
};
