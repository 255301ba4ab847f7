// The body of a message an INVITE session sends, and the content type it goes with.
#pragma once

#include <string>
#include <string_view>

#include "kel_sip/syntax/SipMessageExt.h"

namespace kel_sip {

inline constexpr const char* kSessionContentType = "application/sdp";

// The given type, else fallback, else "application/sdp".
inline std::string contentTypeOr(std::string_view given, std::string_view fallback) {
    if (!given.empty()) return std::string(given);
    return fallback.empty() ? std::string(kSessionContentType) : std::string(fallback);
}

// Attaches body (nothing when it is empty) with contentType, "application/sdp" when empty.
inline void attachBody(SipMessageExt& message, std::string_view body, std::string_view contentType) {
    if (body.empty()) return;
    message.setBody(body.data(), static_cast<int>(body.size()));
    message.contentType = contentTypeOr(contentType, {});
}

}  // namespace kel_sip
