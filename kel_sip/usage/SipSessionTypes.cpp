#include "kel_sip/usage/SipSessionTypes.h"

#include <iterator>

namespace kel_sip {

namespace {

constexpr const char* kEventNames[] = {
    "Inviting proceeding", "Re-Inviting proceeding", "Inviting confirmed", "Re-Inviting confirmed",
    "Inviting failed", "Re-Inviting failed", "Inviting transaction timeout", "Re-Inviting transaction timeout",
    "Inviting transport error", "Re-Inviting transport error", "Invite response transport error",
    "Re-Invite response transport error", "PrAcking succeeded", "PrAcking failed", "PrAcking transaction timeout",
    "PrAcking transport error", "Updating succeeded", "Updating failed", "Updating transaction timeout",
    "Updating transport error", "Update response transport error", "Invited", "Re-Invited", "Acked", "ReAcked",
    "Received Bye", "Canceled", "PrAcked", "Updated", "Invite timeout", "Progress timeout", "No answer timeout",
    "ACK waiting timeout", "Cancel timeout", "PRACK waiting timeout", "Session timer expired", "Session refresh",
    "Re-Invite pending retry", "Infoing succeeded", "Infoing failed", "Infoing transaction timeout",
    "Infoing transport error", "Info response transport error", "Infoed", "Sent INVITE", "Sent Re-INVITE",
    "Sent CANCEL", "Sent ACK", "Sent PRACK", "Sent BYE", "Sent UPDATE", "Sent INVITE provisional response",
    "Sent INVITE final response", "Sent Re-INVITE final response", "Sent INVITE error response",
    "Sent Re-INVITE error response", "Sent UPDATE final response", "Sent UPDATE error response", "Sent INFO",
    "Sent INFO final response", "Sent INFO error response"};

static_assert(std::size(kEventNames) == kEventSentInfoErrorResponse + 1);

}  // namespace

const char* sessionStateString(int state) {
    switch (state) {
        case kSessionIdle: return "Idle";
        case kSessionInviting: return "Inviting";
        case kSessionInvitingConfirmed: return "Inviting Confirmed";
        case kSessionInvited: return "Invited";
        case kSessionInvitedConfirmed: return "Invited Confirmed";
        case kSessionAcknowledged: return "Acknowledged";
        case kSessionReInviting: return "ReInviting";
        case kSessionReInvitingConfirmed: return "ReInviting Confirmed";
        case kSessionReInvited: return "ReInvited";
        case kSessionReInvitedConfirmed: return "ReInvited Confirmed";
        default: return "Unkown";
    }
}

const char* sessionEventString(int event) {
    if (event < 0 || event >= static_cast<int>(std::size(kEventNames))) return "Unkown event";
    return kEventNames[event];
}

const char* sessionControllerEventString(int event) {
    switch (event) {
        case kControllerUndefinedRequest: return "Received undefined request";
        case kControllerUndefinedResponse: return "Received undefined response";
        default: return "Unkown event";
    }
}

}  // namespace kel_sip
