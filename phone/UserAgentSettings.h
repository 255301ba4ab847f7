// The stack settings as the user agent's components take them: each value the settings
// applier pushes goes to every component that uses it (the transaction controller, the
// transports, the usages). Kept apart from UserAgent so that these setters do not hide the
// usages' own setters of the same names.
//
// Threads: the logic thread, as StackSettingsTarget; the components store each value under
// their own lock or atomically, so their workers may read them meanwhile.
#pragma once

#include <optional>

#include "phone/Settings.h"
#include "phone/StackSettingsTarget.h"
#include "phone/UserAgent.h"

class UserAgentSettings : public StackSettingsTarget {
public:
    // agent must outlive this.
    explicit UserAgentSettings(UserAgent& agent) : agent_(agent) {}

    void setTimers(int t1, int t2, int t4, int td, int cancelTimeout) override;
    void setTCPParams(int connectionTimeoutSec, int connectMSec, int receiveMSec, int sendMSec,
                      int acceptMSec) override;
    void setTCPMaxConnection(int maxConnections) override;
    void setSessionOptions(const OptionSettings& options, bool setAllow) override;
    void setViaFlags(bool rport, bool connectionSourcePort, bool alias) override;
    bool setViaParams(const std::string& params) override;
    void setInitialLocalSeqNo(int seqNo) override;
    void setMaxForwards(int maxForwards) override;
    void setDefaultTransportType(int transportType) override;
    void setLocalTag(const std::string& tag) override;
    void setCallIDHost(const std::string& host) override;
    void setUpdateAddresses(bool updateFrom, bool updateTo) override;
    void setUnregisterByWildCard(bool wildCard) override;
    // The next hop of requests outside dialogs (OutBoundProxy with UseOutBoundProxy, set by
    // the phone at start-up): calls and subscriptions only; registrations and publications go
    // where their own settings say.
    void setOutboundProxy(const std::optional<kel_sip::SipPeerAddress>& proxy);

    // The proxy the settings name (OutBoundProxy, host:port) when UseOutBoundProxy is on and
    // the text parses; none otherwise. A missing port is the default 5060 (RFC 3261 section 19.1.2).
    static std::optional<kel_sip::SipPeerAddress> outboundProxyOf(const ExtensionSettings& extension);

private:
    // Runs set on each of the four usages.
    template <typename Set>
    void forEachUsage(Set set);

    UserAgent& agent_;
};
