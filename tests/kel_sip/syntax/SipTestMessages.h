// Helpers that build messages from text for the message tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "kel_sip/syntax/SipMessageExt.h"

namespace kel_sip::test {

// Joins lines with CRLF and ends the header block; the body follows as given.
inline std::string wire(std::initializer_list<std::string_view> lines, std::string_view body = {}) {
    std::string text;
    for (std::string_view line : lines) {
        text.append(line);
        text += "\r\n";
    }
    text += "\r\n";
    text.append(body);
    return text;
}

inline SipMessageExt parsed(const std::string& text) {
    SipMessageExt message;
    std::string reason;
    EXPECT_TRUE(message.parse(text.data(), static_cast<int>(text.size()), reason)) << reason << "\n" << text;
    return message;
}

inline std::string parseFailure(const std::string& text) {
    SipMessageExt message;
    std::string reason;
    EXPECT_FALSE(message.parse(text.data(), static_cast<int>(text.size()), reason)) << text;
    return reason;
}

template <typename T>
T parsedValue(std::string_view text) {
    T value;
    value.parse(text.data(), static_cast<int>(text.size()), true);
    return value;
}

// An INVITE that went out through two loose-routing proxies.
inline std::string inviteWithRoutes() {
    return wire({"INVITE sip:bob@example.org SIP/2.0",
                 "Via: SIP/2.0/UDP 192.0.2.10:5060;branch=z9hG4bKaaaa1111;rport",
                 "Route: <sip:proxy1.example.com;lr>, <sip:proxy2.example.org;lr>",
                 "Max-Forwards: 70",
                 "From: \"Alice\" <sip:alice@example.com>;tag=f1",
                 "To: <sip:bob@example.org>",
                 "Call-ID: c1@192.0.2.10",
                 "CSeq: 17 INVITE",
                 "Contact: <sip:alice@192.0.2.10>",
                 "Supported: timer",
                 "Content-Type: application/sdp",
                 "Content-Length: 4"},
                "v=0\n");
}

}  // namespace kel_sip::test
