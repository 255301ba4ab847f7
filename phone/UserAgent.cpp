#include "phone/UserAgent.h"

#include "kel_sip/syntax/SipEscape.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipReplaces.h"
#include "kel_sip/syntax/SipTransportType.h"
#include "kel_sip/transport/SipTransportHooks.h"
#include "kel_sip/usage/SipSession.h"
#include "kel_sip/usage/SipSubscriberDialogBase.h"
#include "kel_util/Log.h"

using kel_util::CRI;
using kel_util::DBG;
using kel_util::logPrint;
using kel_util::MIN;

namespace {

constexpr int kTransportId = 0;

// The methods the call usage serves itself and lists in Allow; every other request reaches it
// as the default user and is answered 405.
const std::vector<int> kSessionMethods = {
    kel_sip::SipMethod::Invite, kel_sip::SipMethod::Ack,    kel_sip::SipMethod::Bye,
    kel_sip::SipMethod::Cancel, kel_sip::SipMethod::Info,   kel_sip::SipMethod::Refer,
    kel_sip::SipMethod::Update, kel_sip::SipMethod::Prack,  kel_sip::SipMethod::Notify,
};

const char* orNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

}  // namespace

void UserAgentSubscriptions::onSipSubscriberEvent(int event, kel_sip::SipSubscriberDialogBase& dialog,
                                                  const kel_sip::SipMessageExt* message) {
    onSubscriptionEvent(event, dialog, message);
}

UserAgent::UserAgent()
    : SipSessionController(transactions_),
      SipRegistrantController(transactions_),
      UserAgentSubscriptions(transactions_),
      SipPublisherController(transactions_),
      transactions_(static_cast<kel_sip::SipSessionController*>(this)),
      udp_(transactions_, kTransportId),
      tcp_(transactions_, kTransportId) {}

UserAgent::~UserAgent() { clean(); }

bool UserAgent::init(const UserAgentStart& start) {
    logPrint(DBG, "UserAgent::init. Initializing UserAgent.\n");
    if (start.window == nullptr) {
        initFailure_ = "No window for the stack's events.";
        logPrint(CRI, "UserAgent::init. Failed to init UserAgent.\n");
        return false;
    }
    kel_sip::setAnswerOwnOptions(true);
    // A reliable provisional response carries RSeq even when the call leaves PRACK to the
    // window (RFC 3262 section 3 requires it).
    setAlwaysRSeq(true);
    initFailure_ = "Failed to start the usages.";
    const char* host = start.hostName.c_str();
    // Each step undoes the ones before it when it fails, last first.
    if (!SipSessionController::init(start.sessionWorkers, host)) {
        logPrint(MIN, "UserAgent::init. Failed init, SipSessionController.\n");
    } else if (!SipRegistrantController::init(start.registrantWorkers, host)) {
        logPrint(MIN, "UserAgent::init. Failed init, SipRegistrantController.\n");
        SipSessionController::clean();
    } else if (!UserAgentSubscriptions::init(start.subscriberWorkers, host, true)) {  // refreshing itself
        logPrint(MIN, "UserAgent::init. Failed init, SipSubscriberController.\n");
        SipRegistrantController::clean();
        SipSessionController::clean();
    } else if (!SipPublisherController::init(start.publisherWorkers, host)) {
        logPrint(MIN, "UserAgent::init. Failed init, SipPublisherController.\n");
        UserAgentSubscriptions::clean();
        SipRegistrantController::clean();
        SipSessionController::clean();
    } else if (!startTransports(start)) {
        // Forgets the transports attached and every user registered, as clean does.
        transactions_.clean();
        cleanUsages();
    } else {
        logPrint(DBG, "UserAgent::init. Initialized UserAgent.\n");
        initFailure_.clear();
        eventWindow_.store(start.window);
        heapReturner_.start();
        return true;
    }
    logPrint(CRI, "UserAgent::init. Failed to init UserAgent.\n");
    return false;
}

bool UserAgent::startTransports(const UserAgentStart& start) {
    const char* bind = orNull(start.bindAddress);
    const std::string where = " on " + (start.bindAddress.empty() ? std::string("every address") : start.bindAddress) +
                              " (in use, or not a local address).";
    if (!udp_.open(start.sentByHost.c_str(), start.udpPort, bind, start.family, start.udpBindRetry) ||
        !transactions_.addUDPTransport(&udp_)) {
        logPrint(MIN, "UserAgent::init. Failed init, SipUDPTransport.\n");
        initFailure_ = "Failed to open UDP port " + std::to_string(start.udpPort) + where;
        udp_.close();
        return false;
    }
    if (start.tcpWorkers > 0 && start.tcpHandlerWorkers > 0) {
        if (!tcp_.init(start.tcpWorkers, start.tcpHandlerWorkers, start.sentByHost.c_str(), start.tcpPort, bind,
                       start.family, false)) {
            logPrint(MIN, "UserAgent::init. Failed to init SipTCPTransport.\n");
            logPrint(MIN, "UserAgent::init. Failed init, SipTransport.\n");
            initFailure_ = "Failed to open TCP port " + std::to_string(start.tcpPort) + where;
            udp_.close();
            return false;
        }
        tcpOpen_ = true;
        transactions_.addTCPTransport(&tcp_);
    }
    // The controller forgets its users when cleaned: the call usage is registered anew, for
    // each method that no pseudo server serves already.
    for (const int method : kSessionMethods) SipSessionController::registerMethods({method});
    if (!transactions_.init(start.transactionWorkers)) {
        logPrint(MIN, "UserAgent::init. Failed init, SipTransactionController.\n");
        initFailure_ = "Failed to start the transaction controller.";
        tcp_.clean();
        tcpOpen_ = false;
        udp_.close();
        return false;
    }
    return true;
}

// The transports first, so that nothing new comes in; then the transaction controller, which
// waits for the users' sends still inside it; then the usages, whose last events still reach
// the window.
void UserAgent::clean() {
    logPrint(DBG, "UserAgent::clean. Cleaning UserAgent.\n");
    heapReturner_.stop();
    tcp_.clean();
    tcpOpen_ = false;
    udp_.close();
    transactions_.clean();
    cleanUsages();
    eventWindow_.store(nullptr);
    subscriberWindows_.clear();
    publisherWindows_.clear();
    logPrint(DBG, "UserAgent::clean. Cleaned UserAgent.\n");
}

void UserAgent::cleanUsages() {
    SipPublisherController::clean();
    UserAgentSubscriptions::clean();
    SipRegistrantController::clean();
    SipSessionController::clean();
}

int UserAgent::udpPort() {
    try {
        return udp_.getLocalAddress().getPort();
    } catch (const kel_util::Throwable&) {
        return -1;
    }
}

int UserAgent::tcpPort() {
    if (!tcpOpen_) return -1;
    try {
        return tcp_.getHandler().getLocalAddress().getPort();
    } catch (const kel_util::Throwable&) {
        return -1;
    }
}

int UserAgent::invite(const kel_sip::SipDialogStart& start, const kel_sip::InviteOrder& order) {
    logPrint(DBG, "UserAgent::invite. callid=%s\n", start.callId.c_str());
    return SipSessionController::invite(start, order);
}

bool UserAgent::respondSession(int id, const kel_sip::SessionResponse& response, bool renewLocalTag) {
    if (renewLocalTag && !SipSessionController::withDialog(id, [](kel_sip::SipSessionDialog& dialog) {
            dialog.renewLocalTag();
            return true;
        })) {
        return false;
    }
    return SipSessionController::respondSession(id, response);
}

int UserAgent::registerBinding(const kel_sip::SipRegistrantStart& start, kel_sip::SipAddress& usedContact) {
    const int id = SipRegistrantController::regist(start);
    if (id > 0) {
        SipRegistrantController::inspect(
            id, [&](const kel_sip::SipRegistrant& registrant) { usedContact = registrant.getContact(); });
    }
    return id;
}

int UserAgent::subscribe(LogicLoop* window, const kel_sip::SipDialogStart& start,
                         const kel_sip::SubscriptionOrder& order, const kel_sip::SubscriberSend& send) {
    if (window == nullptr) return -1;
    subscriberWindows_.beginStart();
    const int id = UserAgentSubscriptions::subscribe(start, order, send);
    if (!subscriberWindows_.finishStart(id, window)) {
        logPrint(MIN, "UserAgent::subscribe. Failed insert.\n");
        return -1;
    }
    return id > 0 ? id : -1;
}

int UserAgent::publish(LogicLoop* window, const kel_sip::SipPublisherStart& start) {
    if (window == nullptr) return -1;
    publisherWindows_.beginStart();
    const int id = SipPublisherController::publish(start);
    if (!publisherWindows_.finishStart(id, window)) {
        logPrint(MIN, "UserAgent::publish. Failed insert.\n");
        return -1;
    }
    return id > 0 ? id : -1;
}

bool UserAgent::transfer(int referDialogId, const kel_sip::SipReferTo& referTo, int replacedDialogId) {
    kel_sip::SipReplaces replaces;
    // The replaced dialog is released before the REFER's dialog is locked.
    const bool found = SipSessionController::withDialog(replacedDialogId, [&](kel_sip::SipSessionDialog& dialog) {
        logPrint(DBG, "UserAgent::transfer. Found SipDialog, id=%d.\n", replacedDialogId);
        const kel_sip::SipDialogIDExt& dialogId = static_cast<kel_sip::SipDialog&>(dialog).dialogId();
        replaces.setCallId(dialogId.callId);
        replaces.setToTag(dialogId.remoteTag);
        replaces.setFromTag(dialogId.localTag);
        return true;
    });
    if (!found) {
        logPrint(MIN, "UserAgent::transfer. Dialog not found, id=%d.\n", replacedDialogId);
        return false;
    }
    std::string value;
    replaces.print(value);
    // Its ";", "=" and "@" may not stand bare in a URI header (RFC 3261 section 19.1.1), and
    // the Refer-To is printed as stored.
    kel_sip::escape(value, kel_sip::SipEscapeSet::Header);
    kel_sip::SipReferTo withReplaces = referTo;
    withReplaces.address.uri.uriHeaders.add("Replaces", value, true);
    kel_sip::SubscriptionOrder order;
    order.event.setPackage("refer");
    if (!SipSessionController::refer(referDialogId, withReplaces, nullptr, order)) {
        logPrint(MIN, "UserAgent::transfer. Dialog not found, id=%d.\n", referDialogId);
        return false;
    }
    return true;
}

bool UserAgent::sendSipRequest(const OutOfDialogRequest& request, int parameter) {
    // Without a Call-ID the request could not be matched to its answers, nor told from others.
    if (request.callId.empty()) {
        logPrint(MIN, "UserAgent::sendSipRequest. No Call-ID, %s not sent.\n", request.method.c_str());
        return false;
    }
    kel_sip::SipRequestFields fields;
    fields.methodKind = kel_sip::SipMethod::kindOf(request.method);
    fields.from = request.from;
    fields.to = request.to;
    fields.callId = request.callId;
    fields.cseqNumber = request.cseqNumber;
    fields.contact = request.contact;
    fields.maxForwards = 70;
    std::unique_ptr<kel_sip::SipMessageExt> message = kel_sip::SipMessageExt::createRequest(fields, request.requestUri);
    if (!message) return false;
    if (fields.methodKind == kel_sip::SipMethod::Other) message->setMethod(request.method);
    if (!request.body.empty()) {
        message->setBody(request.body.data(), static_cast<int>(request.body.size()));
        message->contentType = request.contentType.empty() ? "application/sdp" : request.contentType;
    }
    if (request.headers != nullptr) message->addHeaders(*request.headers);
    if (!request.peerHost.empty()) {
        message->peer = kel_sip::SipPeerAddress{request.peerHost, request.peerPort};
    } else if (!message->setMessagePeer()) {
        logPrint(MIN, "UserAgent::sendSipRequest. Failed to setPeer.\n");
        return false;
    }
    const int type = request.transportType != -1 ? request.transportType : SipSessionController::getDefaultTransport();
    message->transportType = type;
    message->vias.insert(message->vias.begin(), kel_sip::SipVia(kel_sip::transportName(type), kel_sip::SipHostPort(),
                                                                SipSessionController::createBranch()));
    const int result = SipSessionController::sendRequest(*message, parameter);
    if (result < 0) {
        logPrint(MIN, "UserAgent::sendSipRequest. Failed sendRequest, Param=%d, result=%d.\n", parameter, result);
        return false;
    }
    logPrint(DBG, "UserAgent::sendSipRequest. Succeeded sendRequest, Param=%d, TransactionID=%d.\n", parameter,
             result);
    return true;
}

bool UserAgent::respondSipSessionDialog(int id, const kel_sip::SipMessageExt& response) {
    bool sent = false;
    const bool found = SipSessionController::withDialog(id, [&](kel_sip::SipSessionDialog& dialog) {
        sent = dialog.sendResponse(response);
        if (sent) dialog.setState(kel_sip::kDialogConfirmed);
        return true;
    });
    if (!found) {
        logPrint(MIN, "UserAgent::respondSipSessionDialog. Dialog not found, id=%d.\n", id);
    } else if (sent) {
        logPrint(DBG, "UserAgent::respondSipSessionDialog. Succeeded sendResponse, id=%d.\n", id);
    } else {
        logPrint(MIN, "UserAgent::respondSipSessionDialog. Failed sendResponse, id=%d.\n", id);
    }
    return sent;
}

bool UserAgent::onSipSessionEvent(int event, kel_sip::SipSession& session, const kel_sip::SipMessageExt* message,
                                  int parameter) {
    logPrint(DBG, "UserAgent::onSipSessionEvent. type=%d, id=%d, state=%s, param=%X.\n", event,
             session.dialog().getId(), session.getStateString(), parameter);
    // The window answers the INVITE in a dialog whose tag it cannot read from the request.
    const kel_sip::SipDialog& dialog = session.dialog();
    std::string localTag = event == kel_sip::kEventInvited ? dialog.dialogId().localTag : std::string();
    return forwardUserAgentEvent(window(), UserAgentHook::Session, event, session.dialog().getId(),
                                 session.getState(), message, std::move(localTag));
}

void UserAgent::onSipSessionSubscriberEvent(int event, kel_sip::SipSessionDialog& dialog,
                                            const kel_sip::SipMessageExt* message) {
    const kel_sip::SipSubscriber* subscriber = dialog.subscriber();
    const int state = subscriber != nullptr ? subscriber->state : kel_sip::kSubscriberIdle;
    logPrint(DBG, "UserAgent::onSipSessionSubscriberEvent. type=%d, id=%d, state=%d.\n", event, dialog.getId(), state);
    forwardUserAgentEvent(window(), UserAgentHook::SessionSubscriber, event, dialog.getId(), state, message);
}

void UserAgent::onSipSessionNotifierEvent(int event, kel_sip::SipSessionDialog& dialog,
                                          const kel_sip::SipMessageExt* message) {
    // The notifier's kind: 1 for the subscription a REFER made, 0 for a SUBSCRIBE's.
    const kel_sip::SipNotifier* notifier = dialog.notifier();
    const int kind = notifier != nullptr && notifier->referMode ? 1 : 0;
    logPrint(DBG, "UserAgent::onSipSessionNotifierEvent. type=%d, id=%d, kind=%d.\n", event, dialog.getId(), kind);
    forwardUserAgentEvent(window(), UserAgentHook::SessionNotifier, event, dialog.getId(), kind, message);
}

bool UserAgent::onSipSessionDialogEvent(int event, kel_sip::SipSessionDialog& dialog,
                                        const kel_sip::SipMessageExt& message) {
    logPrint(DBG, "UserAgent::onSipSessionDialogEvent. type=%d, id=%d, state=%s.\n", event, dialog.getId(),
             dialog.getStateString());
    return forwardUserAgentEvent(window(), UserAgentHook::SessionDialog, event, dialog.getId(), dialog.getState(),
                                 &message);
}

bool UserAgent::onSipRegistrantEvent(int event, kel_sip::SipRegistrant& registrant,
                                     const kel_sip::SipMessageExt* message, intptr_t parameter) {
    logPrint(DBG, "UserAgent::onSipRegistrantEvent. type=%d, id=%d, state=%s, param=%X.\n", event,
             registrant.getId(), registrant.getStateString(), static_cast<unsigned>(parameter));
    return forwardUserAgentEvent(window(), UserAgentHook::Registrant, event, registrant.getId(),
                                 registrant.getState(), message);
}

bool UserAgent::onSipPublisherEvent(int event, kel_sip::SipPublisher& publisher, const kel_sip::SipMessageExt* message,
                                    intptr_t parameter) {
    logPrint(DBG, "UserAgent::onSipPublisherEvent. type=%d, id=%d, state=%s, param=%X.\n", event, publisher.getId(),
             publisher.getStateString(), static_cast<unsigned>(parameter));
    return publisherWindows_.deliver(event, publisher.getId(), publisher.getState(), message);
}

void UserAgent::onSubscriptionEvent(int event, kel_sip::SipSubscriberDialogBase& dialog,
                                    const kel_sip::SipMessageExt* message) {
    const kel_sip::SipSubscriber* subscriber = dialog.subscriber();
    const int state = subscriber != nullptr ? subscriber->state : kel_sip::kSubscriberIdle;
    const int id = dialog.subscriberDialog().getId();
    logPrint(DBG, "UserAgent::onSipSubscriberEvent. type=%d, id=%d, state=%d.\n", event, id, state);
    subscriberWindows_.deliver(event, id, state, message);
}

int UserAgent::procReceiveRequest(kel_sip::SipMessageSlot& request, int serverTransactionId,
                                  kel_sip::EventLockGuard& eventLock) {
    logPrint(DBG, "UserAgent::procReceiveRequest. Method=[%s], ServerTransactionID=%d.\n",
             std::string(request->getMethodName()).c_str(), serverTransactionId);
    const int status = SipSessionController::procReceiveRequest(request, serverTransactionId, eventLock);
    // A NOTIFY that no call takes may belong to a subscription; that usage answers 481 when
    // it does not either.
    if (status == 481 && request && request->methodKind == kel_sip::SipMethod::Notify) {
        return UserAgentSubscriptions::procReceiveRequest(request, serverTransactionId, eventLock);
    }
    return status;
}
