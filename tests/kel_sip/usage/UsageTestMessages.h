// Messages for the usage tests, written with "\n" line ends.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeTransactionController.h"
#include "kel_sip/syntax/SipMessageExt.h"

namespace kel_sip::test {

// The message text with every "\n" sent as CRLF, parsed; a parse failure fails the test.
inline std::unique_ptr<SipMessageExt> parseMessage(const std::string& text) {
    std::string wire;
    for (const char c : text) wire += c == '\n' ? std::string("\r\n") : std::string(1, c);
    auto message = std::make_unique<SipMessageExt>();
    std::string reason;
    EXPECT_TRUE(message->parse(wire.data(), static_cast<int>(wire.size()), reason)) << reason << "\n" << text;
    return message;
}

// "<code> <phrase>" of a response, or the method and, when present, "Expires=<value>" of a
// request: how the tests name what a usage sent.
std::string summary(SipMessageExt& message);

// Waits until every event queued so far at a usage with one worker has been handled: a request
// of method for no dialog (Call-ID "marker") is queued after them, and its answer awaited.
void settle(FakeTransactionController& fake, const std::string& method);
// The summaries of what went out from index from on, without the markers' answers.
std::vector<std::string> sentSince(FakeTransactionController& fake, std::size_t from);

}  // namespace kel_sip::test
