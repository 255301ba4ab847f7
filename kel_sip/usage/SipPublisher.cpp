#include "kel_sip/usage/SipPublisher.h"

#include <algorithm>
#include <iterator>

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipIntField.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/usage/SipPublisherController.h"
#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::DBG;
using kel_util::logPrint;
using kel_util::MIN;

namespace {

// An entity-tag longer than this is not kept: it is a token the server made up (RFC 3903
// section 11.3.1), and a peer must not make us carry kilobytes into every refresh.
constexpr std::size_t kMaxEntityTag = 256;

}  // namespace

const char* publisherStateString(int state) {
    switch (state) {
        case kPublisherIdle: return "Idle";
        case kPublisherPublishing: return "Publishing";
        case kPublisherPublished: return "Published";
        case kPublisherUnpublishing: return "Unpublishing";
        default: return "Unkown";
    }
}

const char* publisherEventString(int event) {
    static const char* const names[] = {"Published",        "Unpublished",
                                        "Publish failed",   "Unpublish failed",
                                        "Publish transaction timeout", "Request transport error",
                                        "Publish refresh",  "Sent PUBLISH",
                                        "Sent Un-PUBLISH"};
    return event >= 0 && event < static_cast<int>(std::size(names)) ? names[event] : "Unkown event";
}

SipPublisher::SipPublisher(SipPublisherController& controller, std::string eventPackage)
    : SipOutOfDialogUsage(controller, "SipPublisher"),
      controller_(controller),
      eventPackage_(std::move(eventPackage)) {}

bool SipPublisher::sendPublish(const SipPublication& publication) {
    if (state_ != kPublisherIdle && state_ != kPublisherPublished) {
        logPrint(MIN, "SipPublisher::sendPublish. Invalid SipPublisherState=[%s], id=%d.\n", getStateString(), getId());
        return false;
    }
    stopRefreshTimer();
    const int expires = publication.expires < 0 ? expires_ : publication.expires;
    std::unique_ptr<SipMessageExt> request = createRequest(SipMethod::Publish, nullptr);
    if (expires >= 0) request->addHeader(SipHeader::Expires, std::to_string(expires));
    if (!eventPackage_.empty()) request->addHeader(SipHeader::Event, eventPackage_);
    const bool givenMatch = publication.headers != nullptr && publication.headers->hasHeader(SipHeader::SipIfMatch);
    const bool callerMatches = givenMatch || storedHeadersHave(SipHeader::SipIfMatch);
    // Without it the server takes a refresh, modification or removal for a new publication,
    // or refuses it (RFC 3903 section 4.1).
    if (!entityTag_.empty() && !callerMatches) request->addHeader(SipHeader::SipIfMatch, entityTag_);
    if (publication.headers != nullptr) request->addHeaders(*publication.headers);
    if (!publication.body.empty()) {
        request->setBody(publication.body.data(), static_cast<int>(publication.body.size()));
        request->contentType = publication.contentType;
    }
    if (!send(*request)) return false;
    if (expires != 0) {
        expires_ = expires;
        state_ = kPublisherPublishing;
        report(kPublisherSentPublish, request.get());
    } else {
        state_ = kPublisherUnpublishing;
        report(kPublisherSentUnpublish, request.get());
    }
    return true;
}

bool SipPublisher::sendRePublish(const SipPublication& publication) {
    if (state_ == kPublisherPublishing) {
        queued_.emplace(Queued{publication.expires, publication.body, publication.contentType, HeaderList()});
        if (publication.headers != nullptr) queued_->headers.addHeaders(*publication.headers);
        return true;
    }
    if (state_ == kPublisherPublished) return sendPublish(publication);
    logPrint(MIN, "SipPublisher::sendRePublish. Invalid SipPublisherState=[%s], id=%d.\n", getStateString(), getId());
    return false;
}

void SipPublisher::onSuccess(SipMessageExt& response) {
    takeEntityTag(response);
    const int lifetime = grantedLifetime(response);
    if (lifetime == 0) {
        stopRefreshTimer();
        queued_.reset();
        state_ = kPublisherIdle;
        report(kPublisherUnpublishedEvent, &response);
        return;
    }
    state_ = kPublisherPublished;
    report(kPublisherPublishedEvent, &response);
    if (queued_ && sendQueued()) return;
    startRefreshTimer(lifetime);
}

bool SipPublisher::sendQueued() {
    const Queued queued = std::move(*queued_);
    queued_.reset();
    SipPublication publication;
    publication.expires = queued.expires;
    publication.body = queued.body;
    publication.contentType = queued.contentType;
    publication.headers = queued.headers.empty() ? nullptr : &queued.headers;
    return sendPublish(publication);
}

void SipPublisher::onFailure(SipMessageExt& response) {
    stopRefreshTimer();
    queued_.reset();
    // A 412 to a refresh means the server no longer knows the entity-tag: the publication has
    // lapsed there and ends here too (RFC 3903 section 6).
    if (state_ == kPublisherPublishing) {
        state_ = kPublisherIdle;
        report(kPublisherPublishFailed, &response);
    } else {
        state_ = kPublisherPublished;
        report(kPublisherUnpublishFailed, &response);
    }
}

int SipPublisher::grantedLifetime(SipMessageExt& response) const {
    if (!response.hasHeader(SipHeader::Expires)) return 0;
    SipIntField expires;
    if (response.getTypedHeader(SipHeader::Expires, expires) && expires.getValue() >= 0) {
        return clampLifetime(expires.getValue());
    }
    const int requested = state_ == kPublisherUnpublishing ? 0 : std::max(expires_, 0);
    logPrint(MIN, "SipPublisher::grantedLifetime. Unreadable Expires, the requested %d s kept, id=%d.\n", requested,
             getId());
    return requested;
}

void SipPublisher::takeEntityTag(SipMessageExt& response) {
    const std::string* tag = response.getHeader(SipHeader::SipETag, HeaderListBase::Position::First);
    if (tag == nullptr || tag->empty()) return;
    if (tag->size() > kMaxEntityTag) {
        logPrint(MIN, "SipPublisher::takeEntityTag. SIP-ETag of %d bytes not kept, id=%d.\n",
                 static_cast<int>(tag->size()), getId());
        return;
    }
    entityTag_ = *tag;
}

void SipPublisher::onLost(const SipMessageExt& request, int event) {
    queued_.reset();
    report(event, &request);
}

void SipPublisher::refresh() {
    // A refresh carries no body (RFC 3903 section 4.1).
    if (sendPublish(SipPublication{})) {
        report(kPublisherRefresh, nullptr);
    } else {
        logPrint(MIN, "SipPublisher::refresh. Failed refresh, id=%d.\n", getId());
    }
}

void SipPublisher::report(int event, const SipMessageExt* message, intptr_t parameter) {
    controller_.onSipPublisherEvent(event, *this, message, parameter);
}

}  // namespace kel_sip
