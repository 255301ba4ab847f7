// A scripted Internet gateway device on loopback for the UPnP tests: an SSDP responder on the
// SSDP group and port, and an HTTP server that serves a description and answers SOAP actions
// from a small model of port mappings, unless a test scripts a reply of its own.
#pragma once

#include "kel_util/HTTPMessage.h"
#include "kel_util/Socket.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace natt_test {

struct Reply {
    std::string bytes;
    // Waited before the bytes are sent.
    std::chrono::milliseconds delay{0};
    // Keeps the connection open after sending, so that a client waits for more.
    bool holdOpen = false;
};

// The action name of a SOAP request ("AddPortMapping"), from its SoapAction header.
std::string actionOf(const kel_util::HTTPMessage& request);
// The text of the first element name in the body of request.
std::string argumentOf(const kel_util::HTTPMessage& request, const char* name);
Reply httpReply(int status, const std::string& contentType, const std::string& body);
Reply soapAnswer(const std::string& action, const std::string& arguments);
Reply soapFault(int code, const std::string& description);

class FakeGateway {
public:
    struct Mapping {
        int externalPort;
        std::string protocol;
        std::string description;
    };

    FakeGateway();
    ~FakeGateway();

    // Starts answering SSDP searches for answeredType (none when empty) with the description's
    // location. Must be called from inside the private network.
    void startSSDP(const std::string& answeredType);
    void answerSearchesFor(const std::string& answeredType);
    int httpPort() const { return httpPort_; }
    std::string location() const;

    // The description: one WAN connection service of serviceType, controlURL as given.
    void describe(const std::string& serviceType, const std::string& controlURL);
    // A reply that replaces the model's for every request while set.
    void script(std::function<std::optional<Reply>(const kel_util::HTTPMessage&)> scripted);

    std::vector<Mapping> mappings();
    void addMapping(const Mapping& mapping);
    std::vector<std::string> searchedTypes();
    std::vector<std::string> actions();

private:
    void serveHTTP();
    void serveSSDP();
    Reply answer(const kel_util::HTTPMessage& request);
    Reply answerAction(const kel_util::HTTPMessage& request);

    std::mutex mutex_;
    kel_util::Socket listener_;
    kel_util::DatagramSocket ssdp_;
    int httpPort_ = 0;
    std::string description_;
    std::string answeredType_;
    std::function<std::optional<Reply>(const kel_util::HTTPMessage&)> scripted_;
    std::vector<Mapping> mappings_;
    std::vector<std::string> searchedTypes_;
    std::vector<std::string> actions_;
    std::atomic<bool> stopping_{false};
    std::thread httpThread_;
    std::thread ssdpThread_;
};

}  // namespace natt_test
