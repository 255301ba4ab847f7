// SIPp calls our session controller over UDP (T1 = 100 ms, T2 = 400 ms) and a test thread
// plays the user agent, answering through respondSession once the session reports the INVITE
// (not from inside the event hook: it runs under the dialog's entry lock). receiveCall runs a
// scenario against it: SIPp's exit status tells whether what we sent is what its scenario
// expects; the events reported, the times SIPp logged our messages at, and that no dialog is
// left when the call is over are checked.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ProgramSupport.h"
#include "kel_sip/usage/SipSessionController.h"

namespace kel_sip::test {

inline constexpr int kAnswererT1 = 100;
inline constexpr int kAnswererT2 = 400;
inline constexpr const char* kAnswerSdp =
    "v=0\r\no=- 2 2 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio 4002 RTP/AVP 0\r\n";

// The controller with the session events recorded and the last call's dialog ID number kept.
class Answerer : public SipSessionController {
public:
    explicit Answerer(SipTransactionController& controller);
    ~Answerer() override;

    bool onSipSessionEvent(int event, SipSession& session, const SipMessageExt* message, int parameter) override;

    // Waits until event has been reported count times; false after limit.
    bool waitForEvent(int event, int count = 1, std::chrono::milliseconds limit = std::chrono::seconds(10));
    std::vector<int> events();
    // Waits for the INVITE, then answers it with each code in turn (a 2xx with SDP).
    void answer(const std::vector<int>& codes);
    // Waits for the count-th re-INVITE, then answers it 200 with media in direction.
    void answerReInvite(int count, const char* direction);
    // Our re-INVITE in the call, offering media in direction.
    void reInvite(const char* direction);
    // The dialog ID number of the last call.
    int callId();
    // Waits until the controller holds no dialog; false after 5 s.
    bool waitForNoDialog();

    SipAddress contact;

private:
    // Answers the last call's INVITE or re-INVITE with code and body.
    bool respond(int code, const std::string& body);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> events_;
    int id_ = 0;
};

// How one call is run besides its scenario: setup configures the controller before SIPp
// starts, check gets SIPp's message log, sippSeconds ends SIPp in error.
struct ReceiveOptions {
    std::function<void(Answerer&)> setup = {};
    std::function<void(const std::vector<tessaly_interop::Logged>&)> check = {};
    int sippSeconds = 20;
};

// SIPp runs scenario (a file of this folder without ".xml") against our controller; drive
// plays the user agent. The events reported must be expected and no dialog may be left.
void receiveCall(const std::string& scenario, const std::function<void(Answerer&)>& drive,
                 const std::vector<int>& expected, const ReceiveOptions& options = {});

}  // namespace kel_sip::test
