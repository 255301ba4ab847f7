// The phone's use of an Internet gateway device when NAT traversal by UPnP is on: at start-up
// it finds the control URL, reads the external address and maps each port the phone listens
// on; at clean-up it deletes the mappings it added, then every mapping whose description
// names this host, so that leftovers of earlier runs go too.
//
// Threads: the logic thread only (every call blocks on the gateway within its time-outs).
#pragma once

#include "natt/UPnPController.h"
#include "phone/Settings.h"

#include <functional>
#include <string>
#include <vector>

class PhoneUPnP {
public:
    using StatusSink = std::function<void(const std::string&)>;

    explicit PhoneUPnP(StatusSink showStatus);

    // Sets the gateway up for ports (external port = internal port) on the local address and
    // host name. False when no control URL was found; mapping failures are shown and skipped.
    bool start(const NattSettings& settings, const std::string& localAddress, const std::string& hostName,
               const std::vector<UPnPPortData>& ports);
    // Deletes the mappings; nothing when start found no gateway.
    void cleaneUPnP();

    // The gateway's external address, empty when unknown.
    const std::string& externalAddress() const { return externalAddress_; }

private:
    bool getUPnPControlURL(const NattSettings& settings, const std::string& localAddress);
    void getUPnPExternalIPAddress();
    void addUPnPPortMapping(const UPnPPortData& port, const std::string& localAddress, int leaseDuration);
    // "Failed to ... (code:description).\n" when the gateway gave a fault, else the plain text.
    std::string failure(const char* what) const;

    StatusSink showStatus_;
    UPnPController controller_;
    std::string descriptionPrefix_;
    std::string externalAddress_;
    bool active_ = false;
};
