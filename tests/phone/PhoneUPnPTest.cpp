#include "phone/PhoneProgram.h"

#include "../natt/FakeGateway.h"
#include "../natt/PrivateNetwork.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

class PhoneUPnPTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!natt_test::enterPrivateNetwork()) GTEST_SKIP() << "needs root for a private network namespace";
        gateway_ = std::make_unique<natt_test::FakeGateway>();
        gateway_->startSSDP("urn:schemas-upnp-org:service:WANIPConnection:1");
        std::string error;
        ASSERT_TRUE(LocalAddressChooser::resolve("127.0.0.1", "testhost", local_, error));
        settings_.natt.natTraversal = true;
        settings_.natt.useUPnP = true;
        settings_.natt.upnpSSDPTimeoutSec = 1;
        settings_.natt.upnpAddPortLeaseDuration = 3600;
        status_ = std::tmpfile();
    }
    void TearDown() override {
        if (status_ != nullptr) std::fclose(status_);
    }

    std::string statusText() {
        std::rewind(status_);
        std::string text;
        for (int c; (c = std::fgetc(status_)) != EOF;) text += static_cast<char>(c);
        return text;
    }

    std::unique_ptr<natt_test::FakeGateway> gateway_;
    LocalAddress local_;
    Settings settings_;
    std::FILE* status_ = nullptr;
};

TEST_F(PhoneUPnPTest, TheSipPortIsMappedAtStartAndThisHostsMappingsGoAtStop) {
    gateway_->addMapping({4000, "UDP", "Tessaly_testhost_UDP_4000"});  // left by an earlier run
    gateway_->addMapping({8080, "TCP", "Tessaly_otherhost_TCP_8080"});
    PhoneProgram program(local_, status_);
    ASSERT_TRUE(program.start(settings_));
    const int port = program.phoneStack().udpPort();
    EXPECT_EQ(program.upnp().externalAddress(), "203.0.113.7");
    const auto mapped = gateway_->mappings();
    ASSERT_EQ(mapped.size(), 3u);
    EXPECT_EQ(mapped[2].externalPort, port);
    EXPECT_EQ(mapped[2].protocol, "UDP");
    EXPECT_EQ(mapped[2].description, "Tessaly_testhost_UDP_" + std::to_string(port));

    program.stop();
    const auto left = gateway_->mappings();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].description, "Tessaly_otherhost_TCP_8080");
    EXPECT_EQ(statusText(), "");
}

TEST_F(PhoneUPnPTest, GatewayFailuresAreShownAndTheStackStillRuns) {
    gateway_->script([](const kel_util::HTTPMessage& request) -> std::optional<natt_test::Reply> {
        if (natt_test::actionOf(request) == "AddPortMapping") return natt_test::soapFault(718, "ConflictInMappingEntry");
        if (natt_test::actionOf(request) == "GetExternalIPAddress") return natt_test::httpReply(500, "text/plain", "");
        return std::nullopt;
    });
    {
        PhoneProgram program(local_, status_);
        ASSERT_TRUE(program.start(settings_));
        EXPECT_EQ(statusText(), "Failed to get external IP address.\nFailed to add port map (718:ConflictInMappingEntry).\n");
    }
    gateway_->answerSearchesFor("");
    PhoneProgram program(local_, status_);
    std::rewind(status_);
    ASSERT_TRUE(program.start(settings_));
    EXPECT_NE(statusText().find("Failed to get UPnP Control URL.\n"), std::string::npos);
}

}  // namespace
