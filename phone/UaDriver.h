// The scripted user agent behind tessaly-ua: runs UaCommands on a UserAgent and writes every
// stack event that reaches its logic loop as one line, so that a script (or a test) can wait
// for it:
//   event session 21 Invited dialog=1
//   event registrant 0 Registered id=3
// Commands run on the caller's thread; events are written on the loop's thread, each line
// whole. Today it runs invite, answer, bye, cancel, wait and quit; the other commands are refused
// with "not supported yet". The 2xx of an INVITE this side sent is acknowledged at once.
//
// Threads: run and the constructor from one thread (the reader's); the loop writes events.
#pragma once

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "phone/LogicLoop.h"
#include "phone/UaCommand.h"
#include "phone/UserAgent.h"

class UaDriver : public LogicWindow {
public:
    // out receives the event lines and the command errors; waitSeconds is the default of wait.
    UaDriver(std::FILE* out, int waitSeconds);
    ~UaDriver() override;

    // Starts the loop and the user agent on address:port (UDP; 0 = the system's choice).
    bool start(const std::string& address, int port, std::string& error);
    void stop();
    int port() { return agent_.udpPort(); }

    // Runs one command; false (the reason written to out) when it failed. quit sets quit.
    bool run(const UaCommand& command, bool& quit);

    void onMessage(int message, std::unique_ptr<LogicRecord> record) override;
    void onTimer(int) override {}

private:
    bool invite(const UaCommand& command);
    bool answer(const UaCommand& command);
    // bye and cancel: the call usage sends CANCEL before the answer and BYE once answered.
    bool hangUp(const UaCommand& command);
    // Waits until an event line written since the last wait's match holds text.
    bool wait(const UaCommand& command);
    // The dialog a command names: its own, else the most recent one.
    int dialogOf(const UaCommand& command);
    std::string localUri() { return "sip:ua@" + address_ + ":" + std::to_string(port()); }
    // Writes line to out; an event line is kept for wait.
    void writeLine(const std::string& line, bool isEvent = false);

    std::FILE* out_;
    const int waitSeconds_;
    std::string address_;
    LogicLoop loop_{*this};
    UserAgent agent_;

    std::mutex mutex_;
    std::condition_variable changed_;
    // Guarded by mutex_.
    std::vector<std::string> lines_;
    std::size_t waitedUpTo_ = 0;  // lines before this were seen by a wait
    int latestDialog_ = 0;
};
