// The one object through which the phone logic uses the SIP stack: at once the call usage,
// the registration usage, the subscription usage and the publication usage, owning the
// transaction controller and both transports. It starts and stops them in a fixed order,
// offers the logic loop its operations (call, answer, register, subscribe, publish,
// transfer, a free-form request, the answer to a request received in a call), and turns every
// event the usages report on their workers into a UserAgentEventParam posted to a logic loop,
// so that every phone decision runs on the loop's thread.
//
// The call usage is the transaction controller's default user: a request of a method nobody
// serves is answered 405 with the Allow list of what we do serve (RFC 3261 section 8.2.1).
//
// Threads: init and clean from the owner; the operations and the settings' setters from any
// thread (the logic loop's, normally). The hooks run on the usages' workers and touch only the
// two window maps and the loop's queue.
#pragma once

#include <atomic>
#include <string>

#include "kel_sip/syntax/SipReferTo.h"
#include "kel_sip/transaction/SipTransactionControllerImpl.h"
#include "kel_sip/transport/SipTCPTransport.h"
#include "kel_sip/transport/SipUDPTransport.h"
#include "kel_sip/usage/SipPublisherController.h"
#include "kel_sip/usage/SipRegistrantController.h"
#include "kel_sip/usage/SipSessionController.h"
#include "kel_sip/usage/SipSubscriberController.h"
#include "kel_util/HeapReturner.h"
#include "phone/LogicLoop.h"
#include "phone/UserAgentWindowMap.h"

// The subscription usage with its event hook under a name of its own: the call usage's REFER
// parts already take the shared name, and one class cannot take it twice.
class UserAgentSubscriptions : public kel_sip::SipSubscriberController {
public:
    using SipSubscriberController::SipSubscriberController;
    void onSipSubscriberEvent(int event, kel_sip::SipSubscriberDialogBase& dialog,
                              const kel_sip::SipMessageExt* message) final;

protected:
    virtual void onSubscriptionEvent(int event, kel_sip::SipSubscriberDialogBase& dialog,
                                     const kel_sip::SipMessageExt* message) = 0;
};

// How init starts the stack: worker counts of each pool, names and ports.
struct UserAgentStart {
    LogicLoop* window = nullptr;  // where the events go once init succeeds
    int udpWorkers = 2;
    int tcpWorkers = 2;           // both TCP counts above 0 switch TCP on
    int tcpHandlerWorkers = 2;
    int transactionWorkers = 2;
    int sessionWorkers = 2;
    int registrantWorkers = 2;
    int subscriberWorkers = 2;
    int publisherWorkers = 2;
    std::string hostName;         // the host part of our Call-IDs
    std::string sentByHost;       // the Via sent-by host
    int udpPort = 5060;           // 0: the system's choice
    bool udpBindRetry = true;     // a UDP port taken now is bound once it is free
    int tcpPort = 5060;
    std::string bindAddress;      // empty: every address of family
    int family = AF_INET;
};

// A request sent outside any dialog (sendSipRequest).
struct OutOfDialogRequest {
    std::string method;
    kel_sip::SipURI requestUri;
    kel_sip::SipFromTo from;
    kel_sip::SipFromTo to;
    std::string callId;
    int cseqNumber = 1;
    const kel_sip::SipContact* contact = nullptr;
    std::string body;
    std::string contentType;                        // with a body: "application/sdp" when empty
    const kel_sip::HeaderListBase* headers = nullptr;  // appended
    std::string peerHost;                           // when given, the next hop instead of the Request-URI
    int peerPort = 0;
    int transportType = -1;                         // SipTransportType; -1 leaves it to the stack
};

class UserAgent : public kel_sip::SipSessionController,
                  public kel_sip::SipRegistrantController,
                  public UserAgentSubscriptions,
                  public kel_sip::SipPublisherController {
public:
    UserAgent();
    ~UserAgent() override;
    UserAgent(const UserAgent&) = delete;
    UserAgent& operator=(const UserAgent&) = delete;

    // Starts the usages, the UDP transport, the TCP transport (when both its counts are above
    // 0) and the transaction controller, in this order; on a failure at any step undoes the
    // steps before it, last first, and returns false with nothing left running.
    bool init(const UserAgentStart& start);
    // Stops everything init started: transports, transaction controller, then the usages.
    void clean() override;
    bool isRunning() const noexcept { return eventWindow_.load() != nullptr; }
    // Why the last init failed, for the operator; empty after a success.
    const std::string& initFailure() const noexcept { return initFailure_; }

    // The ports bound (the system's choice for 0); -1 when not open.
    int udpPort();
    int tcpPort();

    // The INVITE of a new call; the dialog's ID number, -1 on failure.
    int invite(const kel_sip::SipDialogStart& start, const kel_sip::InviteOrder& order);
    // Answers the INVITE of call id; with renewLocalTag the dialog takes a new local tag first
    // (a provisional answer that looks like another fork).
    bool respondSession(int id, const kel_sip::SessionResponse& response, bool renewLocalTag);
    // REGISTER; the registrant's ID number (> 0), with the Contact used in usedContact.
    int registerBinding(const kel_sip::SipRegistrantStart& start, kel_sip::SipAddress& usedContact);
    // SUBSCRIBE and PUBLISH: the usage's ID number, the events of which go to window; -1 when
    // the usage refused or the ID was recorded already (the usage then runs without window).
    int subscribe(LogicLoop* window, const kel_sip::SipDialogStart& start, const kel_sip::SubscriptionOrder& order,
                  const kel_sip::SubscriberSend& send = {});
    int publish(LogicLoop* window, const kel_sip::SipPublisherStart& start);
    // Attended transfer (RFC 3891, RFC 3515): REFER in call referDialogId whose Refer-To is
    // referTo with a Replaces header naming call replacedDialogId. false when either call is
    // missing or the REFER was not sent.
    bool transfer(int referDialogId, const kel_sip::SipReferTo& referTo, int replacedDialogId);
    // A request outside any dialog in a client transaction of its own; parameter comes back
    // with its events. false when it could not be built or sent.
    bool sendSipRequest(const OutOfDialogRequest& request, int parameter);
    // Sends response, prepared by the window, through call id's dialog (a request the call
    // left to the window); true when it was sent.
    bool respondSipSessionDialog(int id, const kel_sip::SipMessageExt& response);

    // What the subscription and publication maps hold, for the owner's checks.
    bool hasSubscriberWindow(int id) { return subscriberWindows_.contains(id); }
    bool hasPublisherWindow(int id) { return publisherWindows_.contains(id); }

    kel_sip::SipTransactionControllerImpl& transactionController() noexcept { return transactions_; }
    kel_sip::SipUDPTransport& udpTransport() noexcept { return udp_; }
    kel_sip::SipTCPTransport& tcpTransport() noexcept { return tcp_; }

    bool onSipSessionEvent(int event, kel_sip::SipSession& session, const kel_sip::SipMessageExt* message,
                           int parameter) override;
    void onSipSessionSubscriberEvent(int event, kel_sip::SipSessionDialog& dialog,
                                     const kel_sip::SipMessageExt* message) override;
    void onSipSessionNotifierEvent(int event, kel_sip::SipSessionDialog& dialog,
                                   const kel_sip::SipMessageExt* message) override;
    bool onSipSessionDialogEvent(int event, kel_sip::SipSessionDialog& dialog,
                                 const kel_sip::SipMessageExt& message) override;
    bool onSipRegistrantEvent(int event, kel_sip::SipRegistrant& registrant, const kel_sip::SipMessageExt* message,
                              intptr_t parameter) override;
    bool onSipPublisherEvent(int event, kel_sip::SipPublisher& publisher, const kel_sip::SipMessageExt* message,
                             intptr_t parameter) override;

protected:
    void onSubscriptionEvent(int event, kel_sip::SipSubscriberDialogBase& dialog,
                             const kel_sip::SipMessageExt* message) override;
    // NOTIFY goes to the call it belongs to (a REFER sent in a call), else to the
    // subscription, else 481; every other method to the call usage.
    int procReceiveRequest(kel_sip::SipMessageSlot& request, int serverTransactionId,
                           kel_sip::EventLockGuard& eventLock) override;

private:
    // The steps of init after the usages; false (logged) when one fails.
    bool startTransports(const UserAgentStart& start);
    void cleanUsages();
    LogicLoop* window() const noexcept { return eventWindow_.load(); }

    kel_sip::SipTransactionControllerImpl transactions_;
    kel_sip::SipUDPTransport udp_;
    kel_sip::SipTCPTransport tcp_;
    bool tcpOpen_ = false;
    std::string initFailure_;
    UserAgentWindowMap subscriberWindows_{UserAgentHook::Subscriber};
    UserAgentWindowMap publisherWindows_{UserAgentHook::Publisher};
    std::atomic<LogicLoop*> eventWindow_{nullptr};
    // Gives back the pages that a burst of calls left free once its transactions are gone.
    kel_util::HeapReturner heapReturner_;
};
