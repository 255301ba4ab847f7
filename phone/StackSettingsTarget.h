// The stack's setters that the settings are pushed through when they are applied. The user
// agent implements it and hands each value to the components that use it. Called on the
// logic thread only.
#pragma once

#include "phone/Settings.h"

#include <string>

class StackSettingsTarget {
public:
    virtual ~StackSettingsTarget() = default;

    // Milliseconds: T1, T2, T4 and TD of the transactions (RFC 3261 section 17), and how long
    // a CANCELled INVITE waits for its final response.
    virtual void setTimers(int t1, int t2, int t4, int td, int cancelTimeout) = 0;
    // Idle lifetime of a connection in seconds; connect, receive, send and accept time-outs in ms.
    virtual void setTCPParams(int connectionTimeoutSec, int connectMSec, int receiveMSec, int sendMSec,
                              int acceptMSec) = 0;
    virtual void setTCPMaxConnection(int maxConnections) = 0;
    // What a call makes of 100rel and session timers, and whether its Allow header is built
    // from the methods it serves (setAllow).
    virtual void setSessionOptions(const OptionSettings& options, bool setAllow) = 0;
    // The Via "rport" parameter (RFC 3581), sent-by port = connection source port, "alias"
    // (RFC 5923).
    virtual void setViaFlags(bool rport, bool connectionSourcePort, bool alias) = 0;
    // Extra Via parameters; false when a transport refuses them.
    virtual bool setViaParams(const std::string& params) = 0;
    // First CSeq of new dialogs; negative = random.
    virtual void setInitialLocalSeqNo(int seqNo) = 0;
    virtual void setMaxForwards(int maxForwards) = 0;
    virtual void setDefaultTransportType(int transportType) = 0;
    // A fixed local tag for new dialogs; empty = generated tags.
    virtual void setLocalTag(const std::string& tag) = 0;
    // The host part of generated Call-IDs; empty keeps the host name the stack started with.
    virtual void setCallIDHost(const std::string& host) = 0;
    virtual void setUpdateAddresses(bool updateFrom, bool updateTo) = 0;
    virtual void setUnregisterByWildCard(bool wildCard) = 0;
};
