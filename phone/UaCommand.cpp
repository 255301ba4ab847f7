#include "phone/UaCommand.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>

#include "kel_util/Decimal.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isNumber(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// scheme ":" rest, scheme as RFC 3986 section 3.1 has it.
bool hasScheme(std::string_view uri) {
    const auto colon = uri.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == uri.size()) return false;
    if (!std::isalpha(static_cast<unsigned char>(uri[0]))) return false;
    return std::all_of(uri.begin(), uri.begin() + static_cast<std::ptrdiff_t>(colon), [](unsigned char c) {
        return std::isalnum(c) || c == '+' || c == '-' || c == '.';
    });
}

// RFC 3261 section 25.1 token characters, which a method name is made of.
bool isToken(std::string_view text) {
    static constexpr std::string_view kMarks = "-.!%*_+`'~";
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isalnum(c) || kMarks.find(static_cast<char>(c)) != std::string_view::npos;
    });
}

// "Name: value" with a token name.
bool isHeaderLine(std::string_view line) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    std::string_view name = line.substr(0, colon);
    while (!name.empty() && isBlank(name.back())) name.remove_suffix(1);
    return isToken(name);
}

// The arguments of one command, taken from the left, with errors that name the command.
class Arguments {
public:
    Arguments(const std::vector<std::string>& words, std::string& error) : words_(words), error_(error) {}

    bool empty() const { return next_ >= words_.size(); }
    std::size_t count() const { return words_.size() - next_; }
    bool numberAt(std::size_t offset) const { return next_ + offset < words_.size() && isNumber(words_[next_ + offset]); }
    bool nextIs(std::string_view word) const { return !empty() && words_[next_] == word; }
    void skip() { ++next_; }

    bool fail(const std::string& what) {
        error_ = words_[0] + ": " + what;
        return false;
    }
    bool word(const char* name, std::string& field) {
        if (empty()) return fail(std::string("missing ") + name);
        field = words_[next_++];
        if (field.empty()) return fail(std::string("empty ") + name);
        return true;
    }
    bool uri(const char* name, std::string& field) {
        if (!word(name, field)) return false;
        return hasScheme(field) || fail(std::string(name) + " is not a URI [" + field + "]");
    }
    bool number(const char* name, int min, int max, int& field) {
        std::string text;
        if (!word(name, text)) return false;
        const auto value = kel_util::parseDecimal(text, min, max);
        if (!value) return fail(std::string(name) + " must be a number from " + std::to_string(min) + " to " +
                                std::to_string(max) + " [" + text + "]");
        field = static_cast<int>(*value);
        return true;
    }
    bool id(const char* name, int& field) { return number(name, 1, INT_MAX, field); }
    // A leading DIALOG or ID, when there is one.
    bool optionalId(const char* name, int& field) { return !numberAt(0) || id(name, field); }
    bool optionalWord(const char* name, std::string& field) { return empty() || word(name, field); }
    bool done() { return empty() || fail("too many arguments"); }

private:
    const std::vector<std::string>& words_;
    std::string& error_;
    std::size_t next_ = 1;
};

bool readInvite(Arguments& a, UaCommand& c) {
    return a.uri("URI", c.uri) && a.optionalWord("SDP-FILE", c.file) && a.done();
}

bool readAnswer(Arguments& a, UaCommand& c) {
    if (a.numberAt(0) && a.numberAt(1) && !a.id("DIALOG", c.target)) return false;
    if (!a.number("CODE", 100, 699, c.code)) return false;
    return a.optionalWord("REASON", c.reason) && a.done();
}

bool readDialogOnly(Arguments& a, UaCommand& c) { return a.optionalId("DIALOG", c.target) && a.done(); }

bool readIdOnly(Arguments& a, UaCommand& c) { return a.optionalId("ID", c.target) && a.done(); }

bool readReinvite(Arguments& a, UaCommand& c) {
    if (!a.optionalId("DIALOG", c.target)) return false;
    if (a.nextIs("hold")) {
        c.holdChange = UaHoldChange::Hold;
        a.skip();
    } else if (a.nextIs("resume")) {
        c.holdChange = UaHoldChange::Resume;
        a.skip();
    } else if (!a.empty()) {
        return a.fail("expected hold or resume");
    }
    return a.done();
}

bool readInfo(Arguments& a, UaCommand& c) {
    if (a.count() == 3 && !a.id("DIALOG", c.target)) return false;
    if (!a.word("CONTENT-TYPE", c.contentType)) return false;
    if (c.contentType.find('/') == std::string::npos) return a.fail("CONTENT-TYPE is not type/subtype [" + c.contentType + "]");
    return a.word("BODY", c.body) && a.done();
}

bool readRefer(Arguments& a, UaCommand& c) {
    if (!a.optionalId("DIALOG", c.target) || !a.uri("URI", c.uri)) return false;
    if (a.nextIs("replaces")) {
        a.skip();
        if (!a.id("DIALOG2", c.replacedDialog)) return false;
    }
    return a.done();
}

bool readRegister(Arguments& a, UaCommand& c) {
    if (!a.uri("REGISTRAR-URI", c.uri) || !a.uri("AOR", c.addressOfRecord) ||
        !a.number("EXPIRES", 0, INT_MAX, c.expires)) {
        return false;
    }
    if (!a.empty() && !(a.word("USER", c.user) && a.word("PASSWORD", c.password))) return false;
    return a.done();
}

bool readSubscribe(Arguments& a, UaCommand& c) {
    return a.uri("URI", c.uri) && a.word("EVENT", c.event) && a.number("EXPIRES", 0, INT_MAX, c.expires) && a.done();
}

bool readPublish(Arguments& a, UaCommand& c) {
    return a.uri("URI", c.uri) && a.word("EVENT", c.event) && a.number("EXPIRES", 0, INT_MAX, c.expires) &&
           a.word("BODY-FILE", c.file) && a.done();
}

bool readRequest(Arguments& a, UaCommand& c) {
    if (!a.word("METHOD", c.method)) return false;
    if (!isToken(c.method)) return a.fail("METHOD is not a token [" + c.method + "]");
    if (!a.uri("URI", c.uri)) return false;
    while (!a.empty()) {
        std::string line;
        if (!a.word("HEADER-LINE", line)) return false;
        if (!isHeaderLine(line)) return a.fail("not a header line [" + line + "]");
        c.headerLines.push_back(std::move(line));
    }
    return true;
}

bool readWait(Arguments& a, UaCommand& c) {
    if (!a.word("TEXT", c.text)) return false;
    return (a.empty() || a.number("SECONDS", 1, 86400, c.seconds)) && a.done();
}

bool readQuit(Arguments& a, UaCommand&) { return a.done(); }

struct CommandEntry {
    std::string_view name;
    UaCommandKind kind;
    bool (*read)(Arguments&, UaCommand&);
};

constexpr CommandEntry kCommands[] = {
    {"invite", UaCommandKind::Invite, readInvite},
    {"answer", UaCommandKind::Answer, readAnswer},
    {"bye", UaCommandKind::Bye, readDialogOnly},
    {"cancel", UaCommandKind::Cancel, readDialogOnly},
    {"reinvite", UaCommandKind::Reinvite, readReinvite},
    {"update", UaCommandKind::Update, readDialogOnly},
    {"info", UaCommandKind::Info, readInfo},
    {"refer", UaCommandKind::Refer, readRefer},
    {"register", UaCommandKind::Register, readRegister},
    {"unregister", UaCommandKind::Unregister, readIdOnly},
    {"subscribe", UaCommandKind::Subscribe, readSubscribe},
    {"unsubscribe", UaCommandKind::Unsubscribe, readIdOnly},
    {"publish", UaCommandKind::Publish, readPublish},
    {"unpublish", UaCommandKind::Unpublish, readIdOnly},
    {"request", UaCommandKind::Request, readRequest},
    {"wait", UaCommandKind::Wait, readWait},
    {"quit", UaCommandKind::Quit, readQuit},
};

// Appends the quoted part that opens at line[at] and moves at past its closing quote; false
// when it is not closed.
bool appendQuoted(std::string_view line, std::size_t& at, std::string& word) {
    for (std::size_t i = at + 1; i < line.size(); ++i) {
        if (line[i] == '"') {
            at = i + 1;
            return true;
        }
        if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) ++i;
        word += line[i];
    }
    return false;
}

}  // namespace

bool UaCommandReader::splitWords(std::string_view line, std::vector<std::string>& words, std::string& error) {
    words.clear();
    if (line.size() > kMaxLineLength) {
        error = "line too long";
        return false;
    }
    std::size_t i = 0;
    while (i < line.size()) {
        if (isBlank(line[i])) {
            ++i;
            continue;
        }
        std::string word;
        while (i < line.size() && !isBlank(line[i])) {
            if (line[i] != '"') {
                word += line[i++];
            } else if (!appendQuoted(line, i, word)) {
                error = "unterminated quote";
                return false;
            }
        }
        words.push_back(std::move(word));
    }
    return true;
}

bool UaCommandReader::read(std::string_view line, UaCommand& command, std::string& error) {
    std::vector<std::string> words;
    if (!splitWords(line, words, error)) return false;
    if (words.empty()) {
        error = "no command";
        return false;
    }
    const auto entry = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const CommandEntry& e) { return e.name == words[0]; });
    if (entry == std::end(kCommands)) {
        error = "unknown command [" + words[0] + "]";
        return false;
    }
    command = UaCommand{};
    command.kind = entry->kind;
    Arguments arguments(words, error);
    return entry->read(arguments, command);
}
