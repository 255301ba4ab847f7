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

// Runs each scenario on a fresh Fixture (with fake, settle(), events() and state()): after each
// step's act and a settle, what went out since the step began, the events reported in it and
// the state string afterwards must be the step's sent, events and state.
template <class Fixture, class Step>
void runScenarios(const std::vector<std::vector<Step>>& scenarios) {
    int number = 0;
    for (const std::vector<Step>& scenario : scenarios) {
        ++number;
        Fixture f;
        for (const Step& step : scenario) {
            const std::size_t sentBefore = f.fake.sent().size();
            const std::size_t eventsBefore = f.events().size();
            step.act(f);
            f.settle();
            const std::vector<int> all = f.events();
            EXPECT_EQ(std::vector<int>(all.begin() + static_cast<long>(eventsBefore), all.end()), step.events)
                << number << ": " << step.what;
            EXPECT_EQ(sentSince(f.fake, sentBefore), step.sent) << number << ": " << step.what;
            EXPECT_EQ(f.state(), step.state) << number << ": " << step.what;
        }
    }
}

}  // namespace kel_sip::test
