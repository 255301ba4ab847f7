#include "phone/PhoneUPnP.h"

#include "kel_util/Log.h"

using kel_util::logPrint;

PhoneUPnP::PhoneUPnP(StatusSink showStatus) : showStatus_(std::move(showStatus)) {}

bool PhoneUPnP::start(const NattSettings& settings, const std::string& localAddress, const std::string& hostName,
                      const std::vector<UPnPPortData>& ports) {
    controller_.setTimeouts(settings.upnpSSDPTimeoutSec, settings.upnpHTTPConnTimeoutSec,
                            settings.upnpHTTPSendTimeoutSec, settings.upnpHTTPRecvTimeoutSec);
    descriptionPrefix_ = "Tessaly_" + hostName + "_";
    active_ = getUPnPControlURL(settings, localAddress);
    if (!active_) return false;
    getUPnPExternalIPAddress();
    for (const UPnPPortData& port : ports) addUPnPPortMapping(port, localAddress, settings.upnpAddPortLeaseDuration);
    return true;
}

bool PhoneUPnP::getUPnPControlURL(const NattSettings& settings, const std::string& localAddress) {
    const bool found = settings.upnpUniCast ? controller_.getControlURLUniCast(settings.upnpIGDAddress, localAddress)
                                            : controller_.getControlURL(localAddress);
    if (!found) {
        showStatus_("Failed to get UPnP Control URL.");
        return false;
    }
    logPrint(kel_util::DET, "CSipPhoneDlg::getUPnPControlURL. Succeeded getControlURL.\n");
    return true;
}

void PhoneUPnP::getUPnPExternalIPAddress() {
    if (!controller_.getExternalIPAddress(externalAddress_)) {
        externalAddress_.clear();
        showStatus_(failure("get external IP address"));
        return;
    }
    logPrint(kel_util::DET, "CSipPhoneDlg::getUPnPExternalIPAddress. Succeeded getExternalIPAddress, ExternalIPAddress=[%s].\n",
             externalAddress_.c_str());
}

void PhoneUPnP::addUPnPPortMapping(const UPnPPortData& port, const std::string& localAddress, int leaseDuration) {
    const std::string description = descriptionPrefix_ + port.protocol + "_" + std::to_string(port.externalPort);
    if (!controller_.addPortMapping(port.externalPort, port.protocol, port.externalPort, localAddress, description,
                                    leaseDuration)) {
        showStatus_(failure("add port map"));
        return;
    }
    logPrint(kel_util::DET,
             "CSipPhoneDlg::addUPnPPortMapping. Succeeded addPortMapping, ExternalPort=%d, Protocol=[%s], InternalPort=%d, "
             "InternalClient=[%s], PortMappingDescription=[%s], LeaseDuration=%d.\n",
             port.externalPort, port.protocol.c_str(), port.externalPort, localAddress.c_str(), description.c_str(),
             leaseDuration);
}

std::string PhoneUPnP::failure(const char* what) const {
    if (controller_.getErrorCode() <= 0) return std::string("Failed to ") + what + ".\n";
    return std::string("Failed to ") + what + " (" + std::to_string(controller_.getErrorCode()) + ":" +
           controller_.getErrorDescription() + ").\n";
}

void PhoneUPnP::cleaneUPnP() {
    if (!active_) return;
    active_ = false;
    if (controller_.deleteAddedPortMappings()) {
        logPrint(kel_util::DET, "CSipPhoneDlg::cleaneUPnP. Succeeded deleteAddedPortMappings.\n");
    } else {
        logPrint(kel_util::MIN, "CSipPhoneDlg::cleaneUPnP. Failed deleteAddedPortMappings.\n");
    }
    const bool deleted = controller_.deletePortMappings(descriptionPrefix_);
    logPrint(deleted ? kel_util::DET : kel_util::MIN, "CSipPhoneDlg::cleaneUPnP. %s deletePortMappings, result=%d.\n",
             deleted ? "Succeeded" : "Failed", deleted);
}
