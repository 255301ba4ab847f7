// One publication of event state (RFC 3903): it sends the initial PUBLISH, refreshes it at half
// the lifetime the server granted without a body, queues a modification made while a PUBLISH is
// outstanding, and removes it with expires 0. Every PUBLISH after the first carries SIP-If-Match
// with the entity-tag of the last 2xx (section 4.1) unless the caller gave one.
//
// Threads: a publisher is touched only while its list entry is locked.
#pragma once

#include <optional>
#include <string>

#include "kel_sip/usage/SipOutOfDialogUsage.h"

namespace kel_sip {

class SipPublisherController;

enum SipPublisherState : int {
    kPublisherIdle = 0,
    kPublisherPublishing = 1,
    kPublisherPublished = 2,
    kPublisherUnpublishing = 3,
};

enum SipPublisherEvent : int {
    kPublisherPublishedEvent = 0,
    kPublisherUnpublishedEvent = 1,
    kPublisherPublishFailed = 2,
    kPublisherUnpublishFailed = 3,
    kPublisherTransactionTimeout = SipOutOfDialogUsage::kTimeoutEvent,
    kPublisherTransportError = SipOutOfDialogUsage::kTransportErrorEvent,
    kPublisherRefresh = 6,
    kPublisherSentPublish = 7,
    kPublisherSentUnpublish = 8,
};

// "Idle", "Publishing", "Published", "Unpublishing"; "Unkown" for any other value.
const char* publisherStateString(int state);
// "Published" ... "Sent Un-PUBLISH"; "Unkown event" for any other value.
const char* publisherEventString(int event);

// What one PUBLISH carries: its Expires (negative: the stored one, none when that is negative
// too; 0 removes the publication), the body with its type (none when empty) and headers of its
// own.
struct SipPublication {
    int expires = -1;
    std::string body;
    std::string contentType;
    const HeaderListBase* headers = nullptr;
};

class SipPublisher : public SipOutOfDialogUsage {
public:
    // controller must outlive the publisher; eventPackage is sent as Event when not empty.
    SipPublisher(SipPublisherController& controller, std::string eventPackage);

    // Sends PUBLISH in Idle or Published: Publishing, or Unpublishing with expires 0 (event 7
    // or 8).
    bool sendPublish(const SipPublication& publication);
    // In Published sends now; in Publishing queues a copy for when the outstanding PUBLISH has
    // succeeded; fails in any other state.
    bool sendRePublish(const SipPublication& publication);

    const char* getStateString() const override { return publisherStateString(state_); }
    const std::string& getEventPackage() const noexcept { return eventPackage_; }
    // The Expires of the last PUBLISH that set the state.
    int getExpires() const noexcept { return expires_; }
    // The entity-tag of the last 2xx (RFC 3903 section 4.1); empty before the first.
    const std::string& getEntityTag() const noexcept { return entityTag_; }
    bool hasQueuedPublication() const noexcept { return queued_.has_value(); }

private:
    // A modification kept until the outstanding PUBLISH has succeeded.
    struct Queued {
        int expires;
        std::string body;
        std::string contentType;
        HeaderList headers;
    };

    void onSuccess(SipMessageExt& response) override;
    void onFailure(SipMessageExt& response) override;
    void onLost(const SipMessageExt& request, int event) override;
    // Sends the stored values again.
    void refresh() override;
    // The lifetime the server granted (RFC 3903 section 4.1); 0 when the 2xx names none.
    int grantedLifetime(SipMessageExt& response) const;
    void takeEntityTag(SipMessageExt& response);
    bool sendQueued();
    void report(int event, const SipMessageExt* message, intptr_t parameter = 0);

    SipPublisherController& controller_;
    std::string eventPackage_;
    int expires_ = -1;
    std::string entityTag_;
    std::optional<Queued> queued_;
};

}  // namespace kel_sip
