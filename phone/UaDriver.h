// The scripted user agent behind tessaly-ua: runs UaCommands on a UserAgent, writes one result
// line per command and one line per stack event that reaches its logic loop, so that a script
// (or a test) can wait for it:
//   ok invite 1
//   error bye refused
//   event session id=1 type=2 "Inviting confirmed" state="Inviting Confirmed" status=200
// and for an INVITE received the tag our answers will carry in To:
//   event session id=2 type=21 "Invited" state="Invited" tag=8f3a21
// Like the phone's call control, it acknowledges each 2xx of its INVITEs at once, has the call
// usage answer a reliable provisional response with PRACK when 100rel is on, answers an INFO
// and a request that the call usage leaves to it with 200, answers a digest challenge to an
// INVITE, REGISTER, SUBSCRIBE or PUBLISH (and to the removals of the last three) once with the
// credentials, and with an answer code set answers every INVITE with 180 and then that code.
// A challenged INVITE is sent once more as a new dialog with a new ID: the script sees
// "Inviting failed" for the first ID, then the events of the new one, which has become the most
// recent dialog, so that a bye or reinvite without an ID goes to the call that was answered.
// A registration, subscription or publication keeps the ID it was given first, so that
// unregister, unsubscribe and unpublish with that ID reach the retried one; its event lines
// carry the ID of the usage that reports them, which is a new one after a retry (a retried
// un-SUBSCRIBE stays in its dialog and keeps its ID there too). A second challenge is reported
// ("Subscribe failed ... status=401") and not answered.
//
// Threads: run, start and stop from one thread (the reader's); the loop writes events.
#pragma once

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "phone/LogicLoop.h"
#include "phone/UaCommand.h"
#include "phone/UaDigestKinds.h"
#include "phone/UserAgent.h"

struct UserAgentEventParam;

// The user agent as the driver runs it: an INFO the call receives is answered 200 on the spot,
// since the user agent passes no INFO event to its window and the INFO would stay unanswered.
class UaDriverAgent : public UserAgent {
public:
    bool onSipSessionEvent(int event, kel_sip::SipSession& session, const kel_sip::SipMessageExt* message,
                           int parameter) override;
};

struct UaDriverOptions {
    std::string address = "127.0.0.1";
    int udpPort = 5060;  // 0: the system's choice
    bool useTCP = false;
    int tcpPort = 5060;
    int answerCode = 0;  // above 0: every INVITE is answered 180, then this code
    bool prack = false;  // 100rel on: the call usage answers a reliable provisional with PRACK
    int offer100rel = 0;  // our INVITEs: 1 offers 100rel, 2 requires it (RFC 3262)
    std::string user;    // credentials for the digest challenges of our requests
    std::string password;
    // The next hop of our calls and subscriptions outside dialogs; none: the Request-URI's host.
    std::optional<kel_sip::SipPeerAddress> outboundProxy;
};

class UaDriver : public LogicWindow {
public:
    // out receives the result and event lines; waitSeconds is the default of wait.
    UaDriver(std::FILE* out, int waitSeconds);
    ~UaDriver() override;

    bool start(const UaDriverOptions& options, std::string& error);
    void stop();
    int port() { return agent_.udpPort(); }

    // Runs one command and writes its result line; quit sets quit.
    void run(const UaCommand& command, bool& quit);
    // Writes the result line of a command that could not be read.
    void refuse(const std::string& reason);

    void onMessage(int message, std::unique_ptr<LogicRecord> record) override;
    void onTimer(int) override {}

private:
    // What a command gives: the ID of what it made (0: none), or why it failed.
    struct Outcome {
        bool ok = true;
        int id = 0;
        std::string reason;
    };
    static Outcome failed(std::string reason) { return {false, 0, std::move(reason)}; }
    static Outcome done(bool sent, int id = 0) { return sent ? Outcome{true, id, {}} : failed("refused"); }

    Outcome dispatch(const UaCommand& command);
    Outcome invite(const UaCommand& command);
    Outcome answer(const UaCommand& command);
    // bye and cancel: the call usage sends CANCEL before the answer and BYE once answered.
    Outcome hangUp(const UaCommand& command);
    Outcome reinvite(const UaCommand& command);
    Outcome update(const UaCommand& command);
    Outcome info(const UaCommand& command);
    Outcome refer(const UaCommand& command);
    Outcome registerBinding(const UaCommand& command);
    Outcome unregister(const UaCommand& command);
    Outcome subscribe(const UaCommand& command);
    Outcome unsubscribe(const UaCommand& command);
    Outcome publish(const UaCommand& command);
    Outcome unpublish(const UaCommand& command);
    Outcome request(const UaCommand& command);
    // Waits until an event line written since the last wait's match holds text.
    Outcome wait(const UaCommand& command);

    // What the driver does by itself for an event: ACK, digest answers, the --answer responses.
    void followUp(int message, const UserAgentEventParam& event);
    void answerIncoming(int id);
    void respondInDialog(const UserAgentEventParam& event);
    // The ID a command names: its own, else the most recent one of that kind.
    int targetOf(const UaCommand& command, const int& latest);
    void remember(int& latest, int id);
    // The command's own credentials, else those of the options.
    kel_sip::AuthenticateData credentialsFor(const UaCommand& command) const;
    // The dialog of an INVITE or SUBSCRIBE to command's URI from us, without credentials (the
    // books add them); false when it does not parse.
    bool dialogStart(const UaCommand& command, kel_sip::SipDialogStart& start);
    std::string localUri() { return "sip:ua@" + options_.address + ":" + std::to_string(port()); }
    std::string sdp(const char* direction = "sendrecv") const;
    // Writes line to out; an event line is kept for wait.
    void writeLine(const std::string& line, bool isEvent = false);

    std::FILE* out_;
    const int waitSeconds_;
    UaDriverOptions options_;
    LogicLoop loop_{*this};
    UaDriverAgent agent_;
    UaRegistrations registrations_{agent_};
    UaInviteRetries invites_{agent_};
    UaSubscriptions subscriptions_{agent_};
    UaPublications publications_{agent_};

    std::mutex mutex_;
    std::condition_variable changed_;
    // Guarded by mutex_.
    // The event lines printed since the last one a wait matched, each ended by a newline, of
    // which at least the newest kKeptBytes are kept: a driver that answers calls for hours
    // must not keep every line it printed. One buffer, not a string per line: lines kept
    // long, each on a page of its own, pinned the pages of calls long gone after a burst.
    std::string lines_;
    static constexpr std::size_t kKeptBytes = 64 * 1024;
    int latestDialog_ = 0;
    int latestRegistration_ = 0;  // the script's ID of it
    int latestSubscription_ = 0;
    int latestPublication_ = 0;
};
