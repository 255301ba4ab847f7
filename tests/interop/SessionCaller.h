// Our session controller placing one call to SIPp as the answering side over UDP, for the
// session interop tests: the controller records the session events and the methods of the
// responses no dialog took; call() runs SIPp's scenario against it.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "kel_sip/transaction/SipTransactionControllerImpl.h"
#include "kel_sip/transport/SipUDPTransport.h"
#include "kel_sip/usage/SipSessionController.h"

namespace kel_sip::test {

class Caller : public SipSessionController {
public:
    explicit Caller(SipTransactionController& controller);
    ~Caller() override;

    bool onSipSessionEvent(int event, SipSession& session, const SipMessageExt* message, int parameter) override;
    bool onSipSessionControllerEvent(int event, const SipMessageExt& message, int serverTransactionId) override;

    // Waits until event has been reported count times; false after 10 s.
    bool waitForEvent(int event, int count = 1);
    // Waits until a response of methodKind has found no dialog; false after 10 s.
    bool waitForOrphanResponse(int methodKind);
    std::vector<int> events();
    // The dialog ID number of the session that reported last.
    int lastId();

private:
    void record(std::vector<int>& list, int value);
    bool waitFor(const std::vector<int>& list, int value, int count);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> events_;
    std::vector<int> orphanResponses_;
    int lastId_ = 0;
};

// The Caller over its own transaction layer and a UDP transport on 127.0.0.1 (a free port),
// with T1 and T2 = 4*T1 (ms); torn down in order when it goes.
class CallerStack {
public:
    explicit CallerStack(int t1);
    ~CallerStack();
    CallerStack(const CallerStack&) = delete;
    CallerStack& operator=(const CallerStack&) = delete;

    bool ready() const { return ready_; }
    Caller& caller() { return caller_; }
    int port();
    // The first INVITE of a call to target (a SIP URI) with relProcessType (RFC 3262), the
    // session-timer values (RFC 4028) and an SDP offer: the dialog's ID number, -1 when it was
    // not sent.
    int invite(const std::string& target, int relProcessType, const SessionTimerOverrides& sessionTimer = {});

private:
    SipTransactionControllerImpl controller_{nullptr};
    Caller caller_{controller_};
    SipUDPTransport transport_{controller_, 0};
    bool ready_ = false;
};

// Calls the peer on 127.0.0.1:peerPort with order (a default SDP offer when it has no body) and
// the transaction layer's T1 (ms); drive plays the user agent once the INVITE is out, given the
// dialog's ID number; the events reported must be expected.
void placeCall(int peerPort, InviteOrder order, const std::function<void(Caller&, int)>& drive,
               const std::vector<int>& expected, int t1 = 100);

// Calls SIPp running scenario (a file of this folder without ".xml") with the transaction
// layer's T1 (ms); drive plays the user agent once the INVITE is out, given the dialog's ID
// number. SIPp's exit status tells whether what we sent is what the scenario expects; the
// events reported must be expected. relProcessType is the INVITE's 100rel use (RFC 3262).
void call(const std::string& scenario, const std::function<void(Caller&, int)>& drive,
          const std::vector<int>& expected, int t1 = 100, int relProcessType = 0);

// The user agent acknowledges the 2xx (the count-th 2xx reported of its kind event).
void acknowledge(Caller& caller, int id, int event = kEventInvitingConfirmed, int count = 1);

}  // namespace kel_sip::test
