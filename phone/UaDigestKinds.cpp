#include "phone/UaDigestKinds.h"

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/HeaderList.h"
#include "kel_sip/usage/SipRegistrant.h"
#include "kel_sip/usage/SipSessionTypes.h"
#include "kel_sip/usage/SipSubscriber.h"
#include "kel_sip/usage/SipSubscriberDialog.h"

namespace {

// The retry of a request that started a dialog: the challenged Call-ID, the next CSeq, and a
// local tag of its own, since the refused request made no dialog.
void continueDialog(kel_sip::SipDialogStart& start, const kel_sip::SipMessageExt& response) {
    start.callId = response.callId;
    start.initialLocalSeqNo = static_cast<int>(response.cseq.getNumber()) + 1;
    start.localTag.clear();
}

// The retry of a request outside a dialog: the challenged Call-ID, and the counter where the
// refused request left it, so that the next CSeq follows.
void continueUsage(kel_sip::SipUsageStart& usage, const kel_sip::SipMessageExt& response) {
    usage.callId = response.callId;
    usage.initialSeqNo = static_cast<int>(response.cseq.getNumber());
}

UaRefused refusedBy(int event, int settingFailed, int removingFailed) {
    if (event == settingFailed) return UaRefused::Setting;
    if (event == removingFailed) return UaRefused::Removing;
    return UaRefused::None;
}

}  // namespace

int UaInviteKind::send(UserAgent& agent, const Request& request, const kel_sip::AuthenticateData* credentials) {
    kel_sip::SipDialogStart start = request.start;
    start.credentials = credentials;
    kel_sip::InviteOrder order = request.order;
    order.body = request.body;
    return agent.invite(start, order);
}

UaRefused UaInviteKind::failureOf(int event) {
    return event == kel_sip::kEventInvitingFailed ? UaRefused::Setting : UaRefused::None;
}

int UaInviteKind::resend(UserAgent& agent, Request& request, const UaChallenge& challenge) {
    continueDialog(request.start, challenge.response);
    return send(agent, request, challenge.credentials);
}

bool UaInviteKind::ends(int event) { return event != kel_sip::kEventInvitingProceeding; }

int UaRegisterKind::send(UserAgent& agent, const Request& request, const kel_sip::AuthenticateData* credentials) {
    kel_sip::SipRegistrantStart start = request;
    start.usage.credentials = credentials;
    kel_sip::SipAddress used;
    return agent.registerBinding(start, used);
}

UaRefused UaRegisterKind::failureOf(int event) {
    return refusedBy(event, kel_sip::kRegistrantRegisterFailed, kel_sip::kRegistrantUnregisterFailed);
}

int UaRegisterKind::resend(UserAgent& agent, Request& request, const UaChallenge& challenge) {
    continueUsage(request.usage, challenge.response);
    if (challenge.refused == UaRefused::Removing) request.registration.expires = 0;
    return send(agent, request, challenge.credentials);
}

bool UaRegisterKind::remove(UserAgent& agent, int usageId) {
    kel_sip::SipRegistration removal;
    removal.expires = 0;
    return agent.reRegist(usageId, removal);
}

int UaSubscribeKind::send(UserAgent& agent, const Request& request, const kel_sip::AuthenticateData* credentials) {
    kel_sip::SipDialogStart start = request.start;
    start.credentials = credentials;
    return agent.subscribe(request.window, start, request.order);
}

UaRefused UaSubscribeKind::failureOf(int event) {
    return refusedBy(event, kel_sip::kSubscribeFailed, kel_sip::kUnsubscribeFailed);
}

int UaSubscribeKind::resend(UserAgent& agent, Request& request, const UaChallenge& challenge) {
    if (challenge.refused == UaRefused::Setting) {
        continueDialog(request.start, challenge.response);
        return send(agent, request, challenge.credentials);
    }
    // The refused un-SUBSCRIBE left its dialog subscribed; the dialog takes the next CSeq itself.
    const auto unsubscribe = [&](kel_sip::SipSubscriberDialog& dialog) {
        dialog.setCredentials(challenge.credentials);
        return dialog.sendSubscribe(0, nullptr, 0);
    };
    return agent.kel_sip::SipSubscriberController::withDialog(challenge.usageId, unsubscribe) ? challenge.usageId : -1;
}

int UaPublishKind::send(UserAgent& agent, const Request& request, const kel_sip::AuthenticateData* credentials) {
    kel_sip::SipPublisherStart start = request.start;
    start.usage.credentials = credentials;
    return agent.publish(request.window, start);
}

UaRefused UaPublishKind::failureOf(int event) {
    return refusedBy(event, kel_sip::kPublisherPublishFailed, kel_sip::kPublisherUnpublishFailed);
}

int UaPublishKind::resend(UserAgent& agent, Request& request, const UaChallenge& challenge) {
    continueUsage(request.start.usage, challenge.response);
    if (challenge.refused == UaRefused::Setting) return send(agent, request, challenge.credentials);
    // The removal names the entity-tag that the refused one named (the publisher that sent it
    // keeps it); a new publisher knows none of its own.
    std::string entityTag;
    agent.SipPublisherController::inspect(
        challenge.usageId, [&](const kel_sip::SipPublisher& publisher) { entityTag = publisher.getEntityTag(); });
    if (entityTag.empty()) return -1;
    kel_sip::HeaderList match;
    match.addHeader(kel_sip::SipHeader::SipIfMatch, entityTag);
    Request removal = request;
    removal.start.usage.headers = &match;
    removal.start.publication.expires = 0;
    removal.start.publication.body.clear();
    removal.start.publication.contentType.clear();
    return send(agent, removal, challenge.credentials);
}

bool UaPublishKind::remove(UserAgent& agent, int usageId) {
    kel_sip::SipPublication removal;
    removal.expires = 0;
    return agent.rePublish(usageId, removal);
}
