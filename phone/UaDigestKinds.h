// The per-kind parts of UaDigestRetries: how each request the driver sends is sent, which event
// reports it refused, and how it is sent again after a challenge.
//   INVITE     a new dialog in the same Call-ID with the next CSeq; the script's ID moves to
//              it, since the new dialog is the call that may be answered.
//   REGISTER   a new registrant in the same Call-ID with the next CSeq (expires 0 again for a
//              refused un-REGISTER); the script keeps the first ID.
//   SUBSCRIBE  a new dialog in the same Call-ID with the next CSeq; a refused un-SUBSCRIBE is
//              sent again inside its dialog, which it must end (RFC 6665 section 4.1.2.3).
//              The script keeps the first ID.
//   PUBLISH    a new publisher in the same Call-ID with the next CSeq; a refused un-PUBLISH
//              again as a removal of the same entity-tag (RFC 3903 section 4.5), which is
//              what names the publication at the server. The script keeps the first ID.
#pragma once

#include <string>

#include "kel_sip/usage/SipDialog.h"
#include "kel_sip/usage/SipPublisherController.h"
#include "kel_sip/usage/SipRegistrantController.h"
#include "kel_sip/usage/SipSession.h"
#include "kel_sip/usage/SipSubscriberDialogBase.h"
#include "phone/UaDigestRetries.h"
#include "phone/UserAgent.h"

struct UaInviteKind {
    struct Request {
        kel_sip::SipDialogStart start;
        kel_sip::InviteOrder order;  // views nothing: its body is set from body when sent
        std::string body;
    };
    static constexpr bool kKeepsScriptId = false;
    static int send(UserAgent& agent, const Request& request, const kel_sip::AuthenticateData* credentials);
    static UaRefused failureOf(int event);
    static int resend(UserAgent& agent, Request& request, const UaChallenge& challenge);
    // Only the first INVITE of a call is retried here; a call that got past it is done with.
    static bool ends(int event);
};

// A usage that the script names by its first ID while the driver runs: unregister,
// unsubscribe and unpublish name it.
struct UaKeptUsageKind {
    static constexpr bool kKeepsScriptId = true;
    static bool ends(int) { return false; }
};

struct UaRegisterKind : UaKeptUsageKind {
    using Request = kel_sip::SipRegistrantStart;
    static int send(UserAgent& agent, const Request& request, const kel_sip::AuthenticateData* credentials);
    static UaRefused failureOf(int event);
    static int resend(UserAgent& agent, Request& request, const UaChallenge& challenge);
    static bool remove(UserAgent& agent, int usageId);
};

struct UaSubscribeKind : UaKeptUsageKind {
    struct Request {
        kel_sip::SipDialogStart start;
        kel_sip::SubscriptionOrder order;  // no headers
        LogicLoop* window = nullptr;       // where the subscription's events go
    };
    static int send(UserAgent& agent, const Request& request, const kel_sip::AuthenticateData* credentials);
    static UaRefused failureOf(int event);
    static int resend(UserAgent& agent, Request& request, const UaChallenge& challenge);
    static bool remove(UserAgent& agent, int usageId) { return agent.reSubscribe(usageId, 0); }
};

struct UaPublishKind : UaKeptUsageKind {
    struct Request {
        kel_sip::SipPublisherStart start;  // no headers
        LogicLoop* window = nullptr;       // where the publication's events go
    };
    static int send(UserAgent& agent, const Request& request, const kel_sip::AuthenticateData* credentials);
    static UaRefused failureOf(int event);
    static int resend(UserAgent& agent, Request& request, const UaChallenge& challenge);
    static bool remove(UserAgent& agent, int usageId);
};

using UaInviteRetries = UaDigestRetries<UaInviteKind>;
using UaRegistrations = UaDigestRetries<UaRegisterKind>;
using UaSubscriptions = UaDigestRetries<UaSubscribeKind>;
using UaPublications = UaDigestRetries<UaPublishKind>;
