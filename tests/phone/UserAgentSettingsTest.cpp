#include "phone/UserAgentSettings.h"

#include <chrono>
#include <functional>

#include <gtest/gtest.h>

#include "phone/SettingsApplier.h"

namespace {

using std::chrono::milliseconds;

// Settings far from every component's own start values, so that each read-back proves the
// value arrived.
Settings unusualSettings() {
    Settings settings;
    SipSettings& sip = settings.sip;
    sip.timerT1 = 150;
    sip.timerT2 = 1700;
    sip.timerT4 = 2300;
    sip.timerTD = 9100;
    sip.timerTCancelTimeout = 4100;
    sip.tcpConnectionTimeoutSec = 77;
    sip.tcpConnectTOMSec = 1234;
    sip.tcpReceiveTOMSec = 2345;
    sip.tcpSendTOMSec = 3456;
    sip.tcpAcceptTOMSec = 4567;
    sip.tcpMaxConnection = 13;
    sip.setViaRPort = true;
    sip.setViaConnectionSrcPort = true;
    sip.setViaAlias = true;
    sip.viaParams = "x-test=1;y";
    sip.initialLocalSeqNo = 4242;
    sip.maxForwards = 17;
    sip.defaultSipTransportType = kel_sip::kTransportTCP;
    sip.localTag = "fixedtag";
    sip.callIDHost = "calls.example";
    sip.updateFromAddress = true;
    sip.updateToAddress = true;
    sip.setAllow = true;
    OptionSettings& option = settings.option;
    option.process100rel = false;
    option.term100relProcessType = 2;
    option.processSessionTimer = false;
    option.termSessionTimerProcessType = 1;
    option.minSE = 90;
    option.sessionTimerStartType = 2;
    option.useUpdateSessionRefresh = true;
    settings.extension.unregisterByWildCard = true;
    return settings;
}

TEST(UserAgentSettings, EveryAppliedStackSettingReachesTheComponentThatUsesIt) {
    UserAgent agent;
    UserAgentSettings target(agent);
    const milliseconds connect = kel_sip::SipConnection::getConnectTimeout();
    const milliseconds receive = kel_sip::SipConnection::getReceiveTimeout();
    const milliseconds send = kel_sip::SipConnection::getSendTimeout();
    SettingsApplier::applyStackSettings(unusualSettings(), target);

    const kel_sip::TransactionTimerValues timers = agent.transactionController().timerValues();
    EXPECT_EQ(timers.t1, 150);
    EXPECT_EQ(timers.t2, 1700);
    EXPECT_EQ(timers.t4, 2300);
    EXPECT_EQ(timers.td, 9100);
    const kel_sip::SipSessionController& session = agent;
    EXPECT_EQ(session.getTimerT1(), 150);
    EXPECT_EQ(session.getTimerT2(), 1700);
    EXPECT_EQ(session.getCancelTimeout(), 4100);
    EXPECT_FALSE(session.getProcess100rel());
    EXPECT_EQ(session.getTerm100relProcessType(), 2);
    EXPECT_TRUE(session.getSetAllow());
    const kel_sip::SessionTimerParams sessionTimer = session.getSessionTimerDefaults();
    EXPECT_FALSE(sessionTimer.processSessionTimer);
    EXPECT_EQ(sessionTimer.processType, 1);
    EXPECT_EQ(sessionTimer.minSE, 90);
    EXPECT_EQ(sessionTimer.startType, 2);
    EXPECT_TRUE(sessionTimer.useUpdateSessionRefresh);

    EXPECT_EQ(kel_sip::SipConnection::getConnectTimeout(), milliseconds(1234));
    EXPECT_EQ(kel_sip::SipConnection::getReceiveTimeout(), milliseconds(2345));
    EXPECT_EQ(kel_sip::SipConnection::getSendTimeout(), milliseconds(3456));
    kel_sip::SipTCPTransport& tcp = agent.tcpTransport();
    EXPECT_EQ(tcp.getHandler().getConnectionTimeoutSec(), 77);
    EXPECT_EQ(tcp.getHandler().getAcceptTimeout(), milliseconds(4567));
    EXPECT_EQ(tcp.getHandler().getMaxConnection(), 13);
    EXPECT_TRUE(tcp.getViaRPort());
    EXPECT_TRUE(tcp.getViaConnectionSrcPort());
    EXPECT_TRUE(tcp.getViaAlias());
    EXPECT_EQ(tcp.getViaParams(), "x-test=1;y");
    EXPECT_TRUE(agent.udpTransport().getViaRPort());
    EXPECT_EQ(agent.udpTransport().getViaParams(), "x-test=1;y");

    const std::function<void(const kel_sip::TransactionUserExt&, const char*)> expectUsage =
        [](const kel_sip::TransactionUserExt& usage, const char* name) {
            EXPECT_EQ(usage.getInitialLocalSeqNo(), 4242) << name;
            EXPECT_EQ(usage.getMaxForwards(), 17) << name;
            EXPECT_EQ(usage.getDefaultTransport(), kel_sip::kTransportTCP) << name;
            EXPECT_EQ(usage.getLocalTag(), "fixedtag") << name;
            EXPECT_EQ(usage.getHostName(), "calls.example") << name;
            EXPECT_TRUE(usage.getUpdateFromAddress()) << name;
            EXPECT_TRUE(usage.getUpdateToAddress()) << name;
        };
    expectUsage(static_cast<kel_sip::SipSessionController&>(agent), "session");
    expectUsage(static_cast<kel_sip::SipRegistrantController&>(agent), "registrant");
    expectUsage(static_cast<UserAgentSubscriptions&>(agent), "subscriber");
    expectUsage(static_cast<kel_sip::SipPublisherController&>(agent), "publisher");
    EXPECT_TRUE(static_cast<kel_sip::SipRegistrantController&>(agent).getUnregisterByWildCard());

    // "null" stands for generated tags; an empty CallIDHost keeps the host the stack has;
    // Via parameters that do not parse are refused.
    Settings plain = unusualSettings();
    plain.sip.localTag = "null";
    plain.sip.callIDHost.clear();
    SettingsApplier::applyStackSettings(plain, target);
    EXPECT_EQ(static_cast<kel_sip::SipPublisherController&>(agent).getLocalTag(), "");
    EXPECT_EQ(static_cast<kel_sip::SipSessionController&>(agent).getHostName(), "calls.example");
    EXPECT_FALSE(target.setViaParams(";;=bad"));

    // The outbound proxy: calls and subscriptions only.
    const kel_sip::SipPeerAddress proxy{"192.0.2.7", 5070};
    target.setOutboundProxy(proxy);
    EXPECT_EQ(static_cast<kel_sip::SipSessionController&>(agent).getOutboundPeer(), proxy);
    EXPECT_EQ(static_cast<UserAgentSubscriptions&>(agent).getOutboundPeer(), proxy);
    EXPECT_FALSE(static_cast<kel_sip::SipRegistrantController&>(agent).getOutboundPeer().has_value());
    EXPECT_FALSE(static_cast<kel_sip::SipPublisherController&>(agent).getOutboundPeer().has_value());

    // The connection time-outs are the process's: leave them as the other tests found them.
    kel_sip::SipConnection::setConnectTimeout(connect);
    kel_sip::SipConnection::setReceiveTimeout(receive);
    kel_sip::SipConnection::setSendTimeout(send);
}

}  // namespace
