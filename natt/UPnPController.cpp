#include "natt/UPnPController.h"

#include "kel_util/Decimal.h"
#include "kel_util/Log.h"
#include "kel_util/TextUtil.h"
#include "kel_util/XMLNode.h"
#include "natt/SSDPController.h"

#include <algorithm>

using kel_util::logPrint;
using kel_util::MIN;
using kel_util::NodeXMLParser;
using kel_util::XMLNode;

namespace {

constexpr const char* kEnvelopeNamespace = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr const char* kEncodingNamespace = "http://schemas.xmlsoap.org/soap/encoding/";
constexpr const char* kWANServicePrefixes[] = {"urn:schemas-upnp-org:service:WANIPConnection:",
                                               "urn:schemas-upnp-org:service:WANPPPConnection:"};

std::string textOf(const XMLNode* node) {
    return node != nullptr && node->text ? std::string(kel_util::trimLinearSpace(*node->text)) : std::string();
}

bool isWANConnectionService(const std::string& type) {
    return std::any_of(std::begin(kWANServicePrefixes), std::end(kWANServicePrefixes),
                       [&type](const char* prefix) { return type.rfind(prefix, 0) == 0; });
}

// The text of the answer's element name; false, logging "<operation>. No <name>." or
// "<operation>. No <name> body.", when the element is missing or empty.
bool requireText(NodeXMLParser& answer, const char* operation, const char* name, std::string& text) {
    const XMLNode* node = answer.find(name, false);
    if (node == nullptr) {
        logPrint(MIN, "UPnPController::%s. No %s.\n", operation, name);
        return false;
    }
    text = textOf(node);
    if (text.empty()) {
        logPrint(MIN, "UPnPController::%s. No %s body.\n", operation, name);
        return false;
    }
    return true;
}

}  // namespace

void UPnPController::setTimeouts(int ssdp, int connect, int send, int receive) {
    ssdpTimeoutSec_ = ssdp;
    connectTimeoutSec_ = connect;
    sendTimeoutSec_ = send;
    receiveTimeoutSec_ = receive;
}

kel_util::HTTPTimeouts UPnPController::httpTimeouts() const {
    return {connectTimeoutSec_, sendTimeoutSec_, receiveTimeoutSec_};
}

bool UPnPController::getControlURL(const std::string& sourceAddress) { return findControlURL("", sourceAddress); }

bool UPnPController::getControlURLUniCast(const std::string& deviceAddress, const std::string& sourceAddress) {
    return findControlURL(deviceAddress, sourceAddress);
}

bool UPnPController::findControlURL(const std::string& deviceAddress, const std::string& sourceAddress) {
    clearURL();
    SSDPController ssdp;
    SSDPController::Answer answer;
    if (!ssdp.search(deviceAddress, sourceAddress, ssdpTimeoutSec_, answer) ||
        !_getControlURL(answer.location, answer.serviceType)) {
        clearURL();
        return false;
    }
    return true;
}

void UPnPController::clearURL() {
    serviceType_.clear();
    controlURL_ = {};
    controlPath_.clear();
}

bool UPnPController::_getControlURL(const std::string& location, const std::string& searchedType) {
    const auto locationURL = kel_util::HTTPURL::split(location);
    if (!locationURL) {
        logPrint(MIN, "UPnPController::_getControlURL. Invalid Location=[%s].\n", location.c_str());
        return false;
    }
    if (locationURL->scheme != "http") {
        logPrint(MIN, "UPnPController::_getControlURL. Invalid Prtocol=[%s].\n", locationURL->scheme.c_str());
        return false;
    }
    kel_util::HTTPRequest request;
    request.host = locationURL->host;
    request.port = locationURL->port;
    request.method = "GET";
    request.requestURI = locationURL->path;
    kel_util::HTTPMessage response;
    const int status = kel_util::HTTPConnection().doHTTPRequest(request, httpTimeouts(), response);
    if (status != 200) {
        logPrint(MIN, "UPnPController::getControlURL. Invalid status code=%d.\n", status);
        return false;
    }
    NodeXMLParser description;
    if (!description.parse(response.body.getData(), response.body.getLength())) {
        logPrint(MIN, "UPnPController::_getControlURL. Failed parse description.\n");
        return false;
    }
    XMLNode* service = findService(description, searchedType);
    const XMLNode* controlNode = service != nullptr ? service->getParent()->find("controlURL") : nullptr;
    const std::string controlPath = textOf(controlNode);
    const auto controlURL = locationURL->resolve(controlPath);
    if (service == nullptr || !controlURL) {
        logPrint(MIN, "UPnPController::_getControlURL. No controlURL for ServiceType=[%s].\n", searchedType.c_str());
        return false;
    }
    serviceType_ = textOf(service);
    controlURL_ = *controlURL;
    controlPath_ = controlPath;
    return true;
}

XMLNode* UPnPController::findService(NodeXMLParser& description, const std::string& searchedType) {
    XMLNode* fallback = nullptr;
    for (XMLNode* node = description.find("serviceType", false); node != nullptr;
         node = description.find("servicetype", true)) {
        const std::string type = textOf(node);
        if (type == searchedType) return node;
        if (fallback == nullptr && isWANConnectionService(type)) fallback = node;
    }
    return fallback;
}

bool UPnPController::isConfigured() const {
    return !controlURL_.scheme.empty() && !controlURL_.host.empty() && controlURL_.port > 0 && !serviceType_.empty() &&
           !controlURL_.path.empty();
}

bool UPnPController::checkConfigured(const char* operation) {
    if (isConfigured()) return true;
    logPrint(MIN, "UPnPController::%s. ControlURL not set.\n", operation);
    errorCode_ = 0;
    return false;
}

std::string UPnPController::buildEnvelope(const std::string& action, const Arguments& arguments) const {
    XMLNode envelope("SOAP-ENV:Envelope");
    envelope.setAttribute("xmlns:SOAP-ENV", kEnvelopeNamespace);
    envelope.setAttribute("SOAP-ENV:encodingStyle", kEncodingNamespace);
    XMLNode* call = envelope.addChild("SOAP-ENV:Body")->addChild("m:" + action);
    call->setAttribute("xmlns:m", serviceType_);
    for (const auto& [name, value] : arguments) call->addChild(name)->setText(value);
    std::string text = "<?xml version=\"1.0\"?>\r\n";
    envelope.print(text);
    return text;
}

bool UPnPController::doSOAPAction(const std::string& action, const Arguments& arguments, NodeXMLParser& answer) {
    errorCode_ = 0;
    errorDescription_.clear();
    kel_util::HTTPRequest request;
    request.host = controlURL_.host;
    request.port = controlURL_.port;
    request.method = "POST";
    request.requestURI = controlURL_.path;
    request.headers.addValue("SoapAction", serviceType_ + "#" + action);
    request.contentType = "text/xml";
    request.body = buildEnvelope(action, arguments);
    kel_util::HTTPMessage response;
    const int status = kel_util::HTTPConnection().doHTTPRequest(request, httpTimeouts(), response);
    if (status >= 300) readFault(response);
    if (status != 200) {
        logPrint(MIN, "UPnPController::doSOAPAction. Failed %s, StatusCode=%d, ErrorCode=%d, ErrorDescription=[%s].\n",
                 action.c_str(), status, errorCode_, errorDescription_.c_str());
        return false;
    }
    if (!answer.parse(response.body.getData(), response.body.getLength())) {
        logPrint(MIN, "UPnPController::doSOAPAction. Failed parse answer of %s.\n", action.c_str());
        return false;
    }
    return true;
}

void UPnPController::readFault(const kel_util::HTTPMessage& response) {
    if (kel_util::toLowerAscii(response.contentType).rfind("text/xml", 0) != 0) return;
    NodeXMLParser fault;
    if (!fault.parse(response.body.getData(), response.body.getLength())) return;
    const auto code = kel_util::parseDecimal(textOf(fault.find("errorCode", false)), 0, INT32_MAX);
    errorCode_ = code ? static_cast<int>(*code) : 0;
    errorDescription_ = textOf(fault.find("errorDescription", false));
}

bool UPnPController::getExternalIPAddress(std::string& address) {
    if (!checkConfigured("getExternalIPAddress")) return false;
    NodeXMLParser answer;
    if (!doSOAPAction("GetExternalIPAddress", {}, answer)) return false;
    address = textOf(answer.find("NewExternalIPAddress", false));
    if (address.empty()) {
        logPrint(MIN, "UPnPController::getExternalIPAddress. No NewExternalIPAddress body.\n");
        return false;
    }
    return true;
}

bool UPnPController::addPortMapping(int externalPort, const std::string& protocol, int internalPort,
                                    const std::string& internalClient, const std::string& description,
                                    int leaseDuration) {
    if (!checkConfigured("addPortMapping")) return false;
    NodeXMLParser answer;
    const Arguments arguments = {{"NewRemoteHost", ""},
                                 {"NewExternalPort", std::to_string(externalPort)},
                                 {"NewProtocol", protocol},
                                 {"NewInternalPort", std::to_string(internalPort)},
                                 {"NewInternalClient", internalClient},
                                 {"NewEnabled", "1"},
                                 {"NewPortMappingDescription", description},
                                 {"NewLeaseDuration", std::to_string(leaseDuration)}};
    if (!doSOAPAction("AddPortMapping", arguments, answer)) return false;
    const UPnPPortData pair{externalPort, protocol};
    if (std::find(added_.begin(), added_.end(), pair) == added_.end()) added_.push_back(pair);
    return true;
}

bool UPnPController::deletePortMapping(int externalPort, const std::string& protocol) {
    if (!checkConfigured("deletePortMapping")) return false;
    NodeXMLParser answer;
    const Arguments arguments = {
        {"NewRemoteHost", ""}, {"NewExternalPort", std::to_string(externalPort)}, {"NewProtocol", protocol}};
    if (!doSOAPAction("DeletePortMapping", arguments, answer)) return false;
    std::erase(added_, UPnPPortData{externalPort, protocol});
    return true;
}

bool UPnPController::getGenericPortMappingEntry(int index, UPnPPortData& entry, std::string& description) {
    NodeXMLParser answer;
    if (!doSOAPAction("GetGenericPortMappingEntry", {{"NewPortMappingIndex", std::to_string(index)}}, answer)) {
        return false;
    }
    const char* operation = "getGenericPortMappingEntry";
    std::string port, protocol, internalPort, internalClient, lease;
    if (!requireText(answer, operation, "NewExternalPort", port) ||
        !requireText(answer, operation, "NewProtocol", protocol) ||
        !requireText(answer, operation, "NewInternalPort", internalPort) ||
        !requireText(answer, operation, "NewInternalClient", internalClient) ||
        !requireText(answer, operation, "NewLeaseDuration", lease)) {
        return false;
    }
    const auto externalPort = kel_util::parseDecimal(port, 0, 65535);
    if (!externalPort) {
        logPrint(MIN, "UPnPController::getGenericPortMappingEntry. Invalid NewExternalPort=[%s].\n", port.c_str());
        return false;
    }
    // An empty description is a mapping without one, not a missing element.
    const XMLNode* descriptionNode = answer.find("NewPortMappingDescription", false);
    if (descriptionNode == nullptr) {
        logPrint(MIN, "UPnPController::getGenericPortMappingEntry. No NewPortMappingDescription.\n");
        return false;
    }
    description = textOf(descriptionNode);
    entry = {static_cast<int>(*externalPort), protocol};
    return true;
}

int UPnPController::getPortMappings(std::vector<UPnPPortData>& list, const std::string& descriptionPrefix) {
    if (!checkConfigured("getPortMappings")) return -1;
    int count = 0;
    for (int index = 0; index < kMaxPortMappingEntries; ++index) {
        UPnPPortData entry;
        std::string description;
        if (!getGenericPortMappingEntry(index, entry, description)) {
            if (errorCode_ > 0) return count;
            logPrint(MIN,
                     "UPnPController::getPortMappings. Failed getGenericPortMappingEntry, iPortMappingIndex=%d, "
                     "ErrorCode=%d, ErrorDescription=[%s].\n",
                     index, errorCode_, errorDescription_.c_str());
            return -1;
        }
        if (description.rfind(descriptionPrefix, 0) == 0) {
            list.push_back(entry);
            ++count;
        }
    }
    logPrint(MIN, "UPnPController::getPortMappings. Stopped after %d entries without the end of the list.\n",
             kMaxPortMappingEntries);
    return count;
}

bool UPnPController::deleteList(const std::vector<UPnPPortData>& list, std::vector<UPnPPortData>* gone) {
    for (const UPnPPortData& pair : list) {
        if (deletePortMapping(pair.externalPort, pair.protocol)) {
            logPrint(kel_util::DET,
                     "UPnPController::deletePortMappings. Succeeded deletePortMapping, ExternalPort=%d, Protocol=[%s].\n",
                     pair.externalPort, pair.protocol.c_str());
        } else if (errorCode_ > 0) {
            logPrint(MIN,
                     "UPnPController::deletePortMappings. Failed deletePortMapping, ExternalPort=%d, Protocol=[%s], "
                     "ErrorCode=%d, ErrorDescription=[%s].\n",
                     pair.externalPort, pair.protocol.c_str(), errorCode_, errorDescription_.c_str());
        } else {
            return false;
        }
        if (gone != nullptr) gone->push_back(pair);
    }
    return true;
}

bool UPnPController::deletePortMappings(const std::string& descriptionPrefix) {
    std::vector<UPnPPortData> list;
    return getPortMappings(list, descriptionPrefix) >= 0 && deleteList(list, nullptr);
}

bool UPnPController::deleteAddedPortMappings() {
    if (!checkConfigured("deleteAddedPortMappings")) return false;
    std::vector<UPnPPortData> gone;
    const bool walked = deleteList(std::vector<UPnPPortData>(added_), &gone);
    // A mapping the device no longer knows is as gone as one just deleted.
    for (const UPnPPortData& pair : gone) std::erase(added_, pair);
    return walked;
}
