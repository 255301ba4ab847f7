#include "FakeGateway.h"

#include "kel_util/NodeXMLParser.h"
#include "kel_util/SocketAddress.h"
#include "kel_util/SocketException.h"

#include <algorithm>

using namespace std::chrono_literals;

namespace natt_test {

namespace {

kel_util::SocketAddress address(const char* host, int port) {
    kel_util::SocketAddress result(AF_INET);
    result.set(port, host, AF_INET);
    return result;
}

std::string entryAnswer(const FakeGateway::Mapping& mapping) {
    return "<NewRemoteHost></NewRemoteHost><NewExternalPort>" + std::to_string(mapping.externalPort) +
           "</NewExternalPort><NewProtocol>" + mapping.protocol +
           "</NewProtocol><NewInternalPort>5060</NewInternalPort><NewInternalClient>10.0.0.2</NewInternalClient>"
           "<NewEnabled>1</NewEnabled><NewPortMappingDescription>" +
           mapping.description + "</NewPortMappingDescription><NewLeaseDuration>0</NewLeaseDuration>";
}

}  // namespace

std::string actionOf(const kel_util::HTTPMessage& request) {
    const std::string* soapAction =
        const_cast<kel_util::HTTPMessage&>(request).headers.getValue("SoapAction", kel_util::RFC822ValueList::First);
    if (soapAction == nullptr) return {};
    return soapAction->substr(soapAction->find('#') + 1);
}

std::string argumentOf(const kel_util::HTTPMessage& request, const char* name) {
    kel_util::NodeXMLParser parser;
    if (!parser.parse(request.body.getData(), request.body.getLength())) return {};
    const kel_util::XMLNode* node = parser.find(name, false);
    return node != nullptr && node->text ? *node->text : std::string();
}

Reply httpReply(int status, const std::string& contentType, const std::string& body) {
    return {"HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Type: " + contentType +
                "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body,
            0ms, false};
}

Reply soapAnswer(const std::string& action, const std::string& arguments) {
    return httpReply(200, "text/xml; charset=\"utf-8\"",
                     "<?xml version=\"1.0\"?>\r\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                     "<s:Body><u:" + action + "Response xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\">" +
                         arguments + "</u:" + action + "Response></s:Body></s:Envelope>");
}

Reply soapFault(int code, const std::string& description) {
    return httpReply(500, "text/xml",
                     "<?xml version=\"1.0\"?>\r\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                     "<s:Body><s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>"
                     "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>" +
                         std::to_string(code) + "</errorCode><errorDescription>" + description +
                         "</errorDescription></UPnPError></detail></s:Fault></s:Body></s:Envelope>");
}

FakeGateway::FakeGateway() {
        listener_.open(AF_INET, SOCK_STREAM);
    listener_.setOption(SOL_SOCKET, SO_REUSEADDR, 1);
    listener_.bind(address("127.0.0.1", 0));
    listener_.listen(8);
    httpPort_ = listener_.getLocalAddress().getPort();
    describe("urn:schemas-upnp-org:service:WANIPConnection:1", "/ctl/IPConn");
    httpThread_ = std::thread([this] { serveHTTP(); });
}

FakeGateway::~FakeGateway() {
    stopping_ = true;
    httpThread_.join();
    if (ssdpThread_.joinable()) ssdpThread_.join();
}

std::string FakeGateway::location() const { return "http://127.0.0.1:" + std::to_string(httpPort_) + "/desc/root.xml"; }

void FakeGateway::describe(const std::string& serviceType, const std::string& controlURL) {
    std::lock_guard<std::mutex> guard(mutex_);
    description_ =
        "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\"><specVersion><major>1</major>"
        "</specVersion><device><deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>"
        "<serviceList><service><serviceType>urn:schemas-upnp-org:service:Layer3Forwarding:1</serviceType>"
        "<controlURL>/ctl/L3F</controlURL></service></serviceList><deviceList><device><deviceType>"
        "urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType><serviceList><service><serviceType>" +
        serviceType + "</serviceType><serviceId>urn:upnp-org:serviceId:WANConn1</serviceId><controlURL>" + controlURL +
        "</controlURL></service></serviceList></device></deviceList></device></root>";
}

void FakeGateway::script(std::function<std::optional<Reply>(const kel_util::HTTPMessage&)> scripted) {
    std::lock_guard<std::mutex> guard(mutex_);
    scripted_ = std::move(scripted);
}

std::vector<FakeGateway::Mapping> FakeGateway::mappings() {
    std::lock_guard<std::mutex> guard(mutex_);
    return mappings_;
}

void FakeGateway::addMapping(const Mapping& mapping) {
    std::lock_guard<std::mutex> guard(mutex_);
    mappings_.push_back(mapping);
}

std::vector<std::string> FakeGateway::searchedTypes() {
    std::lock_guard<std::mutex> guard(mutex_);
    return searchedTypes_;
}

std::vector<std::string> FakeGateway::actions() {
    std::lock_guard<std::mutex> guard(mutex_);
    return actions_;
}

void FakeGateway::serveHTTP() {
    while (!stopping_) {
        kel_util::Socket connection;
        kel_util::SocketAddress peer;
        if (!listener_.accept(connection, peer, 50ms)) continue;
        try {
            kel_util::HTTPMessage request;
            std::string raw;
            if (request.receive(connection, 5s, raw) <= 0) continue;
            const Reply reply = answer(request);
            std::this_thread::sleep_for(reply.delay);  // the device is slow on purpose
            connection.send(reply.bytes.data(), static_cast<int>(reply.bytes.size()), 5000ms);
            char rest[256];
            while (reply.holdOpen && !stopping_ && connection.receive(rest, sizeof rest, 50ms) >= 0) {
            }
        } catch (const kel_util::SocketException&) {
            // The client went away: the next connection is served.
        }
    }
}

Reply FakeGateway::answer(const kel_util::HTTPMessage& request) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (request.method == "POST") actions_.push_back(actionOf(request));
    if (scripted_) {
        if (auto reply = scripted_(request)) return *reply;
    }
    if (request.method == "GET") {
        return request.requestURI == "/desc/root.xml" ? httpReply(200, "text/xml", description_)
                                                      : httpReply(404, "text/plain", "");
    }
    return answerAction(request);
}

Reply FakeGateway::answerAction(const kel_util::HTTPMessage& request) {
    const std::string action = actionOf(request);
    if (action == "GetExternalIPAddress") {
        return soapAnswer(action, "<NewExternalIPAddress>203.0.113.7</NewExternalIPAddress>");
    }
    const int port = std::atoi(argumentOf(request, "NewExternalPort").c_str());
    const std::string protocol = argumentOf(request, "NewProtocol");
    const auto same = [&](const Mapping& m) { return m.externalPort == port && m.protocol == protocol; };
    if (action == "AddPortMapping") {
        std::erase_if(mappings_, same);
        mappings_.push_back({port, protocol, argumentOf(request, "NewPortMappingDescription")});
        return soapAnswer(action, "");
    }
    if (action == "DeletePortMapping") {
        if (std::erase_if(mappings_, same) == 0) return soapFault(714, "NoSuchEntryInArray");
        return soapAnswer(action, "");
    }
    if (action == "GetGenericPortMappingEntry") {
        const size_t index = static_cast<size_t>(std::atoi(argumentOf(request, "NewPortMappingIndex").c_str()));
        if (index >= mappings_.size()) return soapFault(713, "SpecifiedArrayIndexInvalid");
        return soapAnswer(action, entryAnswer(mappings_[index]));
    }
    return soapFault(401, "Invalid Action");
}

void FakeGateway::answerSearchesFor(const std::string& answeredType) {
    std::lock_guard<std::mutex> guard(mutex_);
    answeredType_ = answeredType;
}

void FakeGateway::startSSDP(const std::string& answeredType) {
    answerSearchesFor(answeredType);
    ssdp_.openAndBind(address("0.0.0.0", 1900));
    ssdp_.joinMulticast(address("239.255.255.250", 1900), address("127.0.0.1", 0), 1);
    ssdpThread_ = std::thread([this] { serveSSDP(); });
}

void FakeGateway::serveSSDP() {
    std::vector<char> buffer(65535);
    while (!stopping_) {
        kel_util::SocketAddress from;
        const int length = ssdp_.receiveFrom(buffer.data(), static_cast<int>(buffer.size()), from, 50ms);
        kel_util::HTTPMessage search;
        if (length <= 0 || !search.parse(buffer.data(), length)) continue;
        const std::string* type = search.headers.getValue("ST", kel_util::RFC822ValueList::First);
        if (type == nullptr) continue;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            searchedTypes_.push_back(*type);
            if (*type != answeredType_) continue;
        }
        const std::string response = "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nST: " + *type +
                                     "\r\nUSN: uuid:fake::" + *type + "\r\nEXT:\r\nLOCATION: " + location() + "\r\n\r\n";
        ssdp_.sendTo(response.data(), static_cast<int>(response.size()), from, 1000ms);
    }
}

}  // namespace natt_test
