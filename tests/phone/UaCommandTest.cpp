#include "phone/UaCommand.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char* kindName(UaCommandKind kind) {
    static const char* const names[] = {"invite",      "answer",    "bye",         "cancel",  "reinvite", "update",
                                        "info",        "refer",     "register",    "unregister", "subscribe",
                                        "unsubscribe", "publish",   "unpublish",   "request", "wait",     "quit"};
    return names[static_cast<int>(kind)];
}

// The command's kind and every field that differs from an empty command, in one line.
std::string describe(const UaCommand& c) {
    std::string out = kindName(c.kind);
    const auto add = [&out](const char* name, const std::string& value) {
        if (!value.empty()) out += std::string(" ") + name + "=[" + value + "]";
    };
    const auto addNumber = [&out](const char* name, int value) {
        if (value != 0) out += std::string(" ") + name + "=" + std::to_string(value);
    };
    addNumber("target", c.target);
    addNumber("replaced", c.replacedDialog);
    add("uri", c.uri);
    add("file", c.file);
    addNumber("code", c.code);
    add("reason", c.reason);
    if (c.holdChange != UaHoldChange::None) out += c.holdChange == UaHoldChange::Hold ? " hold" : " resume";
    add("type", c.contentType);
    add("body", c.body);
    add("aor", c.addressOfRecord);
    add("user", c.user);
    add("password", c.password);
    add("event", c.event);
    addNumber("expires", c.expires);
    add("method", c.method);
    for (const std::string& line : c.headerLines) add("header", line);
    add("text", c.text);
    addNumber("seconds", c.seconds);
    return out;
}

struct Case {
    const char* line;
    const char* expected;  // describe() of the command, or "error: " and the reason
};

const Case kCases[] = {
    {"invite sip:bob@127.0.0.1:5070", "invite uri=[sip:bob@127.0.0.1:5070]"},
    {"  invite\tsip:bob@h  offer.sdp ", "invite uri=[sip:bob@h] file=[offer.sdp]"},
    {"invite", "error: invite: missing URI"},
    {"invite bob", "error: invite: URI is not a URI [bob]"},
    {"invite sip:bob@h a.sdp b.sdp", "error: invite: too many arguments"},
    {"answer 200", "answer code=200"},
    {"answer 200 OK", "answer code=200 reason=[OK]"},
    {"answer 180 \"Ringing Now\"", "answer code=180 reason=[Ringing Now]"},
    {"answer 2 486", "answer target=2 code=486"},
    {"answer 2 603 Decline", "answer target=2 code=603 reason=[Decline]"},
    {"answer 99", "error: answer: CODE must be a number from 100 to 699 [99]"},
    {"answer 0 200", "error: answer: DIALOG must be a number from 1 to 2147483647 [0]"},
    {"answer", "error: answer: missing CODE"},
    {"answer 2 200 OK more", "error: answer: too many arguments"},
    {"bye", "bye"},
    {"bye 3", "bye target=3"},
    {"bye 99999999999", "error: bye: DIALOG must be a number from 1 to 2147483647 [99999999999]"},
    {"bye three", "error: bye: too many arguments"},
    {"cancel 4", "cancel target=4"},
    {"reinvite", "reinvite"},
    {"reinvite hold", "reinvite hold"},
    {"reinvite 2 resume", "reinvite target=2 resume"},
    {"reinvite 2 pause", "error: reinvite: expected hold or resume"},
    {"update 7", "update target=7"},
    {"info application/dtmf-relay \"Signal=5\\r\\nDuration=160\"",
     "info type=[application/dtmf-relay] body=[Signal=5\\r\\nDuration=160]"},
    {"info 2 text/plain \"say \\\"hi\\\"\"", "info target=2 type=[text/plain] body=[say \"hi\"]"},
    {"info 2 hello", "error: info: CONTENT-TYPE is not type/subtype [2]"},
    {"info text/plain", "error: info: missing BODY"},
    {"refer sip:carol@h", "refer uri=[sip:carol@h]"},
    {"refer 1 sip:carol@h replaces 2", "refer target=1 replaced=2 uri=[sip:carol@h]"},
    {"refer sip:carol@h replaces", "error: refer: missing DIALOG2"},
    {"refer sip:carol@h swaps 2", "error: refer: too many arguments"},
    {"register sip:registrar sip:alice@h 3600", "register uri=[sip:registrar] aor=[sip:alice@h] expires=3600"},
    {"register sip:r sip:a@h 0 alice \"pass word\"",
     "register uri=[sip:r] aor=[sip:a@h] user=[alice] password=[pass word]"},
    {"register sip:r sip:a@h 60 alice", "error: register: missing PASSWORD"},
    {"register sip:r sip:a@h -1", "error: register: EXPIRES must be a number from 0 to 2147483647 [-1]"},
    {"unregister", "unregister"},
    {"unregister 5", "unregister target=5"},
    {"subscribe sip:bob@h presence 600", "subscribe uri=[sip:bob@h] event=[presence] expires=600"},
    {"subscribe sip:bob@h presence", "error: subscribe: missing EXPIRES"},
    {"unsubscribe 1", "unsubscribe target=1"},
    {"publish sip:alice@h presence 3600 pidf.xml",
     "publish uri=[sip:alice@h] file=[pidf.xml] event=[presence] expires=3600"},
    {"publish sip:alice@h presence 3600", "error: publish: missing BODY-FILE"},
    {"unpublish", "unpublish"},
    {"request OPTIONS sip:bob@h", "request uri=[sip:bob@h] method=[OPTIONS]"},
    {"request MESSAGE sip:bob@h \"Content-Type: text/plain\" \"X-Test : 1\"",
     "request uri=[sip:bob@h] method=[MESSAGE] header=[Content-Type: text/plain] header=[X-Test : 1]"},
    {"request MESSAGE sip:bob@h NoColon", "error: request: not a header line [NoColon]"},
    {"request \"BAD METHOD\" sip:bob@h", "error: request: METHOD is not a token [BAD METHOD]"},
    {"wait Invited", "wait text=[Invited]"},
    {"wait \"Received Bye\" 5", "wait text=[Received Bye] seconds=5"},
    {"wait Invited 0", "error: wait: SECONDS must be a number from 1 to 86400 [0]"},
    {"quit", "quit"},
    {"quit now", "error: quit: too many arguments"},
    {"QUIT", "error: unknown command [QUIT]"},
    {"dial sip:bob@h", "error: unknown command [dial]"},
    {"   ", "error: no command"},
    {"answer 200 \"OK", "error: unterminated quote"},
    {"bye \"\"", "error: bye: too many arguments"},
    {"answer 200 \"\"", "error: answer: empty REASON"},
};

TEST(UaCommandTest, EachLineGivesItsCommandOrTheReasonItIsRefused) {
    for (const Case& c : kCases) {
        UaCommand command;
        std::string error;
        const bool ok = UaCommandReader::read(c.line, command, error);
        EXPECT_EQ(ok ? describe(command) : "error: " + error, c.expected) << c.line;
    }
}

TEST(UaCommandTest, WordsSplitOnBlanksAndKeepQuotedBlanks) {
    std::vector<std::string> words;
    std::string error;
    ASSERT_TRUE(UaCommandReader::splitWords("a \"b c\"d  \"\" e\\f \"g\\\\\"", words, error));
    EXPECT_EQ(words, (std::vector<std::string>{"a", "b cd", "", "e\\f", "g\\"}));
    EXPECT_FALSE(UaCommandReader::splitWords(std::string(UaCommandReader::kMaxLineLength + 1, 'a'), words, error));
    EXPECT_EQ(error, "line too long");
}

}  // namespace
