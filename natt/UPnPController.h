// Controls the WAN connection service of an Internet gateway device: finds its control URL
// (SSDP, then the device description), reads the external address, and adds, lists and
// deletes port mappings by SOAP actions. Synchronous, on the caller's thread; no retries.
// A SOAP fault leaves its code and description here for the caller's message.
#pragma once

#include "kel_util/HTTPConnection.h"
#include "kel_util/HTTPURL.h"
#include "kel_util/NodeXMLParser.h"

#include <string>
#include <utility>
#include <vector>

struct UPnPPortData {
    int externalPort = 0;
    // "UDP" or "TCP".
    std::string protocol;

    bool operator==(const UPnPPortData&) const = default;
};

class UPnPController {
public:
    // Listing stops here even when the device never answers that the list has ended.
    static constexpr int kMaxPortMappingEntries = 1024;

    // In seconds.
    void setTimeouts(int ssdp, int connect, int send, int receive);

    // Finds the control URL by a multicast search, or by a search sent to deviceAddress.
    // sourceAddress (may be empty) is the local address searched from. On failure the URL
    // state is cleared.
    bool getControlURL(const std::string& sourceAddress);
    bool getControlURLUniCast(const std::string& deviceAddress, const std::string& sourceAddress);

    bool getExternalIPAddress(std::string& address);
    // On success the (external port, protocol) pair joins the added list unless already there.
    bool addPortMapping(int externalPort, const std::string& protocol, int internalPort,
                        const std::string& internalClient, const std::string& description, int leaseDuration);
    bool deletePortMapping(int externalPort, const std::string& protocol);
    // Appends the mappings whose description begins with descriptionPrefix; the count added,
    // or -1 when the device stopped answering before the end of its list.
    int getPortMappings(std::vector<UPnPPortData>& list, const std::string& descriptionPrefix);
    // Deletes every mapping whose description begins with descriptionPrefix.
    bool deletePortMappings(const std::string& descriptionPrefix);
    // Deletes the mappings added through this controller.
    bool deleteAddedPortMappings();

    // Scheme, host, a port above 0, service type and control path are all known.
    bool isConfigured() const;

    const std::string& getServiceType() const { return serviceType_; }
    const kel_util::HTTPURL& getControlURLParts() const { return controlURL_; }
    int getErrorCode() const { return errorCode_; }
    const std::string& getErrorDescription() const { return errorDescription_; }
    const std::vector<UPnPPortData>& getAddedPortMappings() const { return added_; }

private:
    using Arguments = std::vector<std::pair<std::string, std::string>>;

    bool findControlURL(const std::string& deviceAddress, const std::string& sourceAddress);
    bool _getControlURL(const std::string& location, const std::string& searchedType);
    // The serviceType element naming searchedType, else the first WAN connection service the
    // description lists.
    kel_util::XMLNode* findService(kel_util::NodeXMLParser& description, const std::string& searchedType);
    void clearURL();
    // Fails, logging "UPnPController::<operation>. ControlURL not set.", when not configured.
    bool checkConfigured(const char* operation);
    // POSTs the action; on 200 the answer's document is in answer.
    bool doSOAPAction(const std::string& action, const Arguments& arguments, kel_util::NodeXMLParser& answer);
    std::string buildEnvelope(const std::string& action, const Arguments& arguments) const;
    void readFault(const kel_util::HTTPMessage& response);
    bool getGenericPortMappingEntry(int index, UPnPPortData& entry, std::string& description);
    bool deleteList(const std::vector<UPnPPortData>& list, std::vector<UPnPPortData>* gone);
    kel_util::HTTPTimeouts httpTimeouts() const;

    int ssdpTimeoutSec_ = 3;
    int connectTimeoutSec_ = 3;
    int sendTimeoutSec_ = 3;
    int receiveTimeoutSec_ = 3;
    std::string serviceType_;
    kel_util::HTTPURL controlURL_;
    // The controlURL element's text as the description gave it.
    std::string controlPath_;
    int errorCode_ = 0;
    std::string errorDescription_;
    std::vector<UPnPPortData> added_;
};
