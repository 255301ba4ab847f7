#include "natt/UPnPController.h"

#include "FakeGateway.h"
#include "PrivateNetwork.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace std::chrono_literals;
using natt_test::FakeGateway;
using natt_test::Reply;

namespace {

constexpr const char* kIP1 = "urn:schemas-upnp-org:service:WANIPConnection:1";
constexpr const char* kIP2 = "urn:schemas-upnp-org:service:WANIPConnection:2";
constexpr const char* kPPP1 = "urn:schemas-upnp-org:service:WANPPPConnection:1";

using Clock = std::chrono::steady_clock;

// Whether elapsed honours a time-out of expected: not shorter, at most 20% longer.
::testing::AssertionResult honours(Clock::duration elapsed, std::chrono::milliseconds expected) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed);
    if (ms >= expected - 20ms && ms <= expected * 6 / 5) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << ms.count() << " ms for a time-out of " << expected.count() << " ms";
}

class UPnPControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!natt_test::enterPrivateNetwork()) GTEST_SKIP() << "needs root for a private network namespace";
        gateway_ = std::make_unique<FakeGateway>();
        controller_.setTimeouts(1, 1, 1, 1);
    }

    void discover() {
        gateway_->startSSDP(kIP1);
        ASSERT_TRUE(controller_.getControlURLUniCast("127.0.0.1", ""));
    }

    std::unique_ptr<FakeGateway> gateway_;
    UPnPController controller_;
};

TEST_F(UPnPControllerTest, DiscoveryTakesTheServiceAndControlURLTheDescriptionLists) {
    struct Case {
        const char* name;
        const char* answered;   // the search the device answers
        const char* described;  // the service its description lists
        std::string controlURL;
        const char* expectedType;
        std::string expectedPath;
    };
    const std::string absolute = "http://127.0.0.1:" + std::to_string(gateway_->httpPort()) + "/abs/ctl";
    const Case cases[] = {
        {"answers the second search only", kIP1, kIP1, "/ctl/IPConn", kIP1, "/ctl/IPConn"},
        {"PPP answered and described", kPPP1, kPPP1, "/ctl/PPP", kPPP1, "/ctl/PPP"},
        {"answers :1, describes :2, absolute URL", kIP1, kIP2, absolute, kIP2, "/abs/ctl"},
        {"answers IP, describes PPP, relative URL", kIP1, kPPP1, "ctl/rel", kPPP1, "/desc/ctl/rel"},
    };
    gateway_->startSSDP(kIP1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gateway_->answerSearchesFor(c.answered);
        gateway_->describe(c.described, c.controlURL);
        ASSERT_TRUE(controller_.getControlURL("127.0.0.1"));
        EXPECT_TRUE(controller_.isConfigured());
        EXPECT_EQ(controller_.getServiceType(), c.expectedType);
        EXPECT_EQ(controller_.getControlURLParts().host, "127.0.0.1");
        EXPECT_EQ(controller_.getControlURLParts().port, gateway_->httpPort());
        EXPECT_EQ(controller_.getControlURLParts().path, c.expectedPath);
    }
    const auto searched = gateway_->searchedTypes();
    ASSERT_GE(searched.size(), 2u);
    EXPECT_EQ(searched[0], kPPP1);
    EXPECT_EQ(searched[1], kIP1);
}

TEST_F(UPnPControllerTest, DiscoveryFailsAfterTheSSDPTimeOutWhenNoDeviceAnswers) {
    gateway_->startSSDP("");
    controller_.setTimeouts(2, 1, 1, 1);
    const auto start = Clock::now();
    EXPECT_FALSE(controller_.getControlURL("127.0.0.1"));
    EXPECT_TRUE(honours(Clock::now() - start, 2000ms));
    EXPECT_FALSE(controller_.isConfigured());
    EXPECT_EQ(gateway_->searchedTypes().size(), 2u);

    // A description without any WAN connection service leaves the controller unconfigured.
    gateway_->answerSearchesFor(kIP1);
    gateway_->describe("urn:schemas-upnp-org:service:Layer3Forwarding:1", "/ctl");
    EXPECT_FALSE(controller_.getControlURLUniCast("127.0.0.1", ""));
    EXPECT_FALSE(controller_.isConfigured());
}

TEST_F(UPnPControllerTest, ActionsKeepTheGatewayAndTheAddedListInStep) {
    std::string external;
    EXPECT_FALSE(controller_.getExternalIPAddress(external));  // not configured yet
    EXPECT_FALSE(controller_.addPortMapping(5060, "UDP", 5060, "127.0.0.1", "x", 0));
    std::vector<UPnPPortData> unused;
    EXPECT_EQ(controller_.getPortMappings(unused, ""), -1);
    EXPECT_TRUE(gateway_->actions().empty());
    discover();

    ASSERT_TRUE(controller_.getExternalIPAddress(external));
    EXPECT_EQ(external, "203.0.113.7");

    std::vector<UPnPPortData> none;
    EXPECT_EQ(controller_.getPortMappings(none, ""), 0);  // the first entry already faults

    ASSERT_TRUE(controller_.addPortMapping(5060, "UDP", 5060, "127.0.0.1", "Tessaly_host_UDP_5060", 0));
    ASSERT_TRUE(controller_.addPortMapping(5060, "UDP", 5060, "127.0.0.1", "Tessaly_host_UDP_5060", 0));
    ASSERT_TRUE(controller_.addPortMapping(5062, "TCP", 5062, "127.0.0.1", "Tessaly_host_TCP_5062", 0));
    EXPECT_EQ(controller_.getAddedPortMappings(), (std::vector<UPnPPortData>{{5060, "UDP"}, {5062, "TCP"}}));
    gateway_->addMapping({8080, "TCP", "someone else"});
    gateway_->addMapping({4000, "UDP", "Tessaly_host_UDP_4000"});  // left by an earlier run

    std::vector<UPnPPortData> ours;
    EXPECT_EQ(controller_.getPortMappings(ours, "Tessaly_host_"), 3);
    EXPECT_EQ(ours, (std::vector<UPnPPortData>{{5060, "UDP"}, {5062, "TCP"}, {4000, "UDP"}}));

    gateway_->script([](const kel_util::HTTPMessage& request) -> std::optional<Reply> {
        if (natt_test::actionOf(request) == "AddPortMapping") return natt_test::soapFault(718, "ConflictInMappingEntry");
        return std::nullopt;
    });
    EXPECT_FALSE(controller_.addPortMapping(8080, "TCP", 8080, "127.0.0.1", "Tessaly_host_TCP_8080", 0));
    EXPECT_EQ(controller_.getErrorCode(), 718);
    EXPECT_EQ(controller_.getErrorDescription(), "ConflictInMappingEntry");
    EXPECT_EQ(controller_.getAddedPortMappings().size(), 2u);
    gateway_->script(nullptr);

    // A mapping the gateway lost (fault 714) does not stop the walk and leaves the list too.
    ASSERT_TRUE(controller_.deletePortMapping(5062, "TCP"));
    ASSERT_TRUE(controller_.addPortMapping(5062, "TCP", 5062, "127.0.0.1", "Tessaly_host_TCP_5062", 0));
    gateway_->script([](const kel_util::HTTPMessage& request) -> std::optional<Reply> {
        if (natt_test::argumentOf(request, "NewExternalPort") == "5060") return natt_test::soapFault(714, "NoSuchEntryInArray");
        return std::nullopt;
    });
    EXPECT_TRUE(controller_.deleteAddedPortMappings());
    EXPECT_TRUE(controller_.getAddedPortMappings().empty());
    gateway_->script(nullptr);

    EXPECT_TRUE(controller_.deletePortMappings("Tessaly_host_"));
    ASSERT_EQ(gateway_->mappings().size(), 1u);
    EXPECT_EQ(gateway_->mappings()[0].description, "someone else");
}

TEST_F(UPnPControllerTest, ListingStopsAtItsBoundWhenTheDeviceNeverEndsTheList) {
    discover();
    gateway_->script([](const kel_util::HTTPMessage& request) -> std::optional<Reply> {
        if (natt_test::actionOf(request) != "GetGenericPortMappingEntry") return std::nullopt;
        return natt_test::soapAnswer("GetGenericPortMappingEntry",
                                     "<NewExternalPort>1</NewExternalPort><NewProtocol>UDP</NewProtocol>"
                                     "<NewInternalPort>1</NewInternalPort><NewInternalClient>127.0.0.1</NewInternalClient>"
                                     "<NewPortMappingDescription>loop</NewPortMappingDescription>"
                                     "<NewLeaseDuration>0</NewLeaseDuration>");
    });
    std::vector<UPnPPortData> list;
    EXPECT_EQ(controller_.getPortMappings(list, "loop"), UPnPController::kMaxPortMappingEntries);
    EXPECT_EQ(gateway_->actions().size(), static_cast<size_t>(UPnPController::kMaxPortMappingEntries));
}

TEST_F(UPnPControllerTest, BadAnswersFailTheActionWithinTheTimeOut) {
    struct Case {
        const char* name;
        Reply reply;
        bool succeeds;
        int errorCode;
        std::chrono::milliseconds takes;  // 0: no time-out involved
    };
    const std::string envelope =
        "<s:Envelope><s:Body><u:GetExternalIPAddressResponse><NewExternalIPAddress>198.51.100.1"
        "</NewExternalIPAddress></u:GetExternalIPAddressResponse></s:Body></s:Envelope>";
    const Reply slow{natt_test::soapAnswer("GetExternalIPAddress", "").bytes, 1500ms, false};
    const Reply overlong{"HTTP/1.1 200 OK\r\nContent-Length: 999\r\n\r\n" + envelope, 0ms, true};
    const Reply truncated{"HTTP/1.1 200 OK\r\nContent-Length: 999\r\n\r\n" + envelope.substr(0, 40), 0ms, false};
    const Reply untilClose{"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n" + envelope, 0ms, false};
    const Reply chunked{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\n" + envelope.substr(0, 16) + "\r\n" +
                            [&] {
                                char size[16];
                                std::snprintf(size, sizeof size, "%zx", envelope.size() - 16);
                                return std::string(size);
                            }() + "\r\n" + envelope.substr(16) + "\r\n0\r\n\r\n",
                        0ms, false};
    const Reply huge{"HTTP/1.1 200 OK\r\n\r\n" + std::string(70000, ' '), 0ms, false};
    const Case cases[] = {
        {"slow device", slow, false, 0, 1000ms},
        {"Content-Length beyond the body, connection held", overlong, false, 0, 1000ms},
        {"connection closed inside the body", truncated, false, 0, 0ms},
        {"no Content-Length: read until close", untilClose, true, 0, 0ms},
        {"chunked", chunked, true, 0, 0ms},
        {"above the size cap", huge, false, 0, 0ms},
        {"garbage XML", natt_test::httpReply(200, "text/xml", "<a><b></a>"), false, 0, 0ms},
        {"server error without a fault", natt_test::httpReply(500, "text/html", "<html/>"), false, 0, 0ms},
        {"fault 714", natt_test::soapFault(714, "NoSuchEntryInArray"), false, 714, 0ms},
        {"fault 718", natt_test::soapFault(718, "ConflictInMappingEntry"), false, 718, 0ms},
    };
    discover();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gateway_->script([&c](const kel_util::HTTPMessage&) -> std::optional<Reply> { return c.reply; });
        std::string address;
        const auto start = Clock::now();
        EXPECT_EQ(controller_.getExternalIPAddress(address), c.succeeds);
        if (c.takes > 0ms) {
            EXPECT_TRUE(honours(Clock::now() - start, c.takes));
        }
        EXPECT_EQ(controller_.getErrorCode(), c.errorCode);
        if (c.succeeds) {
            EXPECT_EQ(address, "198.51.100.1");
        }
    }
}

// A listening socket on 127.0.0.1 with the given backlog, for the time-out tests.
void listenOnLoopback(kel_util::Socket& listener, int backlog) {
    listener.open(AF_INET, SOCK_STREAM);
    kel_util::SocketAddress loopback(AF_INET);
    loopback.set(0, "127.0.0.1", AF_INET);
    listener.bind(loopback);
    listener.listen(backlog);
}

kel_util::HTTPRequest requestTo(const kel_util::Socket& listener, const char* method) {
    kel_util::HTTPRequest request;
    request.host = "127.0.0.1";
    request.port = listener.getLocalAddress().getPort();
    request.method = method;
    request.requestURI = "/";
    return request;
}

TEST(HTTPConnection, ConnectTimeOutIsHonouredWhenTheServerNeverAccepts) {
    // A listener whose accept queue is full drops further connection attempts unanswered.
    kel_util::Socket listener;
    listenOnLoopback(listener, 0);
    std::vector<std::unique_ptr<kel_util::Socket>> fillers;
    for (int i = 0; i < 2; ++i) {
        fillers.push_back(std::make_unique<kel_util::Socket>());
        fillers.back()->open(AF_INET, SOCK_STREAM);
        fillers.back()->connect(listener.getLocalAddress(), 200ms);
    }
    kel_util::HTTPRequest request = requestTo(listener, "GET");
    kel_util::HTTPMessage response;
    const auto start = Clock::now();
    EXPECT_EQ(kel_util::HTTPConnection().doHTTPRequest(request, {1, 1, 1}, response), 0);
    EXPECT_TRUE(honours(Clock::now() - start, 1000ms));
}

TEST(HTTPConnection, SendTimeOutIsHonouredWhenTheServerNeverReads) {
    kel_util::Socket listener;
    listenOnLoopback(listener, 1);
    kel_util::HTTPRequest request = requestTo(listener, "POST");
    request.body.assign(64 << 20, 'x');  // far more than the socket buffers hold
    kel_util::HTTPMessage response;
    const auto start = Clock::now();
    EXPECT_EQ(kel_util::HTTPConnection().doHTTPRequest(request, {1, 1, 1}, response), 0);
    EXPECT_TRUE(honours(Clock::now() - start, 1000ms));
}

TEST(HTTPConnection, RequestHeadIsPrintedAsTheDeviceExpects) {
    kel_util::HTTPRequest request;
    request.host = "10.0.0.1";
    request.port = 0;
    request.method = "POST";
    request.requestURI = "/ctl";
    request.headers.addValue("SoapAction", "urn:x#Y");
    request.contentType = "text/xml";
    request.body = "<x/>";
    EXPECT_EQ(kel_util::HTTPConnection::printHead(request),
              "POST /ctl HTTP/1.1\r\nHOST: 10.0.0.1:80\r\nSoapAction: urn:x#Y\r\nContent-Type: text/xml\r\n"
              "Content-Length: 4\r\n\r\n");
    request.version = "HTTP/1.0";
    request.contentType.clear();
    request.body.clear();
    EXPECT_EQ(kel_util::HTTPConnection::printHead(request), "POST /ctl HTTP/1.0\r\nSoapAction: urn:x#Y\r\nContent-Length: 0\r\n\r\n");
}

}  // namespace
