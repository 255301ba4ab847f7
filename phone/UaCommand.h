// The commands of the scripted user agent (tessaly-ua), one per line of its standard input:
//
//   invite URI [SDP-FILE]                  answer [DIALOG] CODE [REASON]
//   bye [DIALOG]        cancel [DIALOG]    reinvite [DIALOG] [hold|resume]
//   update [DIALOG]                        info [DIALOG] CONTENT-TYPE BODY
//   refer [DIALOG] URI [replaces DIALOG2]  register REGISTRAR-URI AOR EXPIRES [USER PASSWORD]
//   unregister [ID]                        subscribe URI EVENT EXPIRES
//   unsubscribe [ID]                       publish URI EVENT EXPIRES BODY-FILE
//   unpublish [ID]                         request METHOD URI [HEADER-LINE]...
//   wait TEXT [SECONDS]                    quit
//
// Words are separated by blanks and tabs; a double-quoted part may hold blanks and, after a
// backslash, a double quote or a backslash. DIALOG and ID are positive numbers and may be left
// out to mean the most recent one: a leading number is the DIALOG or ID, except in answer,
// where it is the DIALOG only when a numeric CODE follows it ("answer 200 OK" answers the most
// recent dialog, "answer 2 200" dialog 2). URIs are checked here only for a scheme; the stack
// parses them when the command runs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class UaCommandKind {
    Invite, Answer, Bye, Cancel, Reinvite, Update, Info, Refer, Register,
    Unregister, Subscribe, Unsubscribe, Publish, Unpublish, Request, Wait, Quit,
};

enum class UaHoldChange { None, Hold, Resume };

struct UaCommand {
    UaCommandKind kind = UaCommandKind::Quit;
    int target = 0;          // DIALOG or ID; 0 = the most recent one
    int replacedDialog = 0;  // refer ... replaces DIALOG2; 0 = none
    std::string uri;         // the request URI, REGISTRAR-URI or the Refer-To URI
    std::string file;        // SDP-FILE or BODY-FILE; empty = none
    int code = 0;            // answer
    std::string reason;      // answer; empty = the code's usual phrase
    UaHoldChange holdChange = UaHoldChange::None;
    std::string contentType;  // info
    std::string body;         // info
    std::string addressOfRecord;
    std::string user;  // register; empty = no credentials
    std::string password;
    std::string event;  // subscribe, publish
    int expires = 0;
    std::string method;                    // request
    std::vector<std::string> headerLines;  // request
    std::string text;                      // wait
    int seconds = 0;                       // wait; 0 = the driver's default
};

class UaCommandReader {
public:
    // The longest line taken; a longer one is refused rather than split.
    static constexpr std::size_t kMaxLineLength = 65536;

    // Splits line into words; false with error for an unterminated quote or a line too long.
    static bool splitWords(std::string_view line, std::vector<std::string>& words, std::string& error);
    // Reads one command line; false with error saying what is wrong (unknown command, missing,
    // surplus or malformed argument).
    static bool read(std::string_view line, UaCommand& command, std::string& error);
};
