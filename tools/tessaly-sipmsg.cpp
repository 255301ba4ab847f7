// tessaly-sipmsg: reads files that each hold one SIP datagram and tells, per file, what the
// UDP transport does with it; optionally prints the message as the stack prints it, or
// measures parse+print speed.
//
//   tessaly-sipmsg [--switch NAME=0|1]... [--print] FILE...
//   tessaly-sipmsg [--switch NAME=0|1]... --bench N FILE...
//
// One line per file: FILE<TAB>VERDICT<TAB>REASON, VERDICT being "parse" (parsed and valid),
// "400", "505" or "416" (answered by the transport), or "drop". FILE "-" is standard input.
// Exit status 0 when every file was read, 2 on usage or I/O errors.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "kel_sip/syntax/SipMessageExt.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipSwitches.h"
#include "kel_sip/syntax/SipViaAddressing.h"
#include "kel_util/Decimal.h"

namespace {

using kel_sip::SipMessageExt;

constexpr int kUsageError = 2;

struct Options {
    bool print = false;
    long long bench = 0;  // 0: judge each file; above 0: parse+print each file that many times
    std::vector<std::string> files;
};

struct Verdict {
    std::string verdict;
    std::string reason;
    bool parsed = false;
};

void usage() {
    std::cerr << "usage: tessaly-sipmsg [--switch NAME=0|1]... [--print] FILE...\n"
                 "       tessaly-sipmsg [--switch NAME=0|1]... --bench N FILE...\n"
                 "switches:";
    for (int i = 0; i < kel_sip::kSipSwitchCount; ++i) std::cerr << ' ' << kel_sip::sipSwitchName(static_cast<kel_sip::SipSwitch>(i));
    std::cerr << '\n';
}

// "NAME=0" or "NAME=1"; sets the switch.
bool applySwitch(const std::string& text) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos) return false;
    const std::string value = text.substr(equals + 1);
    const auto which = kel_sip::sipSwitchByName(text.substr(0, equals));
    if (!which || (value != "0" && value != "1")) return false;
    kel_sip::setSipSwitch(*which, value == "1");
    return true;
}

bool parseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--print") {
            options.print = true;
        } else if (argument == "--switch" && i + 1 < argc) {
            if (!applySwitch(argv[++i])) return false;
        } else if (argument == "--bench" && i + 1 < argc) {
            const auto count = kel_util::parseDecimal(argv[++i], 1, 1000000000);
            if (!count) return false;
            options.bench = *count;
        } else if (argument.size() > 1 && argument[0] == '-' && argument != "-") {
            return false;
        } else {
            options.files.push_back(argument);
        }
    }
    return !options.files.empty();
}

bool readFile(const std::string& name, std::string& bytes) {
    if (name == "-") {
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return !std::cin.bad();
    }
    std::ifstream in(name, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// readFile, telling a failure on standard error and turning the exit status to 2.
bool readInput(const std::string& name, std::string& bytes, int& status) {
    if (readFile(name, bytes)) return true;
    std::cerr << "tessaly-sipmsg: cannot read " << name << ": " << std::strerror(errno) << '\n';
    status = kUsageError;
    return false;
}

// A request can be answered only when its top Via names where the answer goes; an ACK, or a
// request whose CSeq names ACK, is never answered (RFC 3261 section 17.1.1.3).
bool answerable(const SipMessageExt& message) {
    const bool ack = message.methodKind == kel_sip::SipMethod::Ack || message.cseq.getMethodKind() == kel_sip::SipMethod::Ack;
    return message.isRequest && !ack && !message.vias.empty() &&
           !kel_sip::responseDestination(message.vias.front()).empty();
}

// What the UDP transport does with the datagram: answers an unparsable request with 400, an
// invalid request with the status validation chose, hands a valid message on, drops the rest.
Verdict judge(const std::string& bytes, SipMessageExt& message) {
    Verdict result;
    if (!message.parse(bytes.data(), static_cast<int>(bytes.size()), result.reason)) {
        result.verdict = answerable(message) ? "400" : "drop";
        return result;
    }
    result.parsed = true;
    int status = 0;
    if (message.validate(result.reason, status)) {
        result.verdict = "parse";
    } else {
        result.verdict = answerable(message) ? std::to_string(status) : "drop";
    }
    return result;
}

// Reasons quote received text; keep the report to one line per file.
std::string oneLine(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    return text;
}

int judgeFiles(const Options& options) {
    int status = 0;
    for (const std::string& name : options.files) {
        std::string bytes;
        if (!readInput(name, bytes, status)) continue;
        SipMessageExt message;
        const Verdict verdict = judge(bytes, message);
        std::cout << name << '\t' << verdict.verdict << '\t' << oneLine(verdict.reason) << '\n';
        if (options.print && verdict.parsed) std::cout << message.toString();
    }
    return status;
}

int bench(const Options& options) {
    std::vector<std::string> datagrams;
    int status = 0;
    for (const std::string& name : options.files) {
        std::string bytes;
        if (readInput(name, bytes, status)) datagrams.push_back(std::move(bytes));
    }
    SipMessageExt message;
    std::string reason;
    std::string out;
    size_t printed = 0;
    const auto start = std::chrono::steady_clock::now();
    for (long long round = 0; round < options.bench; ++round) {
        for (const std::string& bytes : datagrams) {
            if (message.parse(bytes.data(), static_cast<int>(bytes.size()), reason)) {
                out.clear();
                message.print(out);
                printed += out.size();
            }
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double messages = static_cast<double>(options.bench) * static_cast<double>(datagrams.size());
    std::printf("messages: %.0f, printed bytes: %zu, seconds: %.3f\n", messages, printed, seconds);
    std::printf("parse+print: %.0f msgs/s\n", seconds > 0 ? messages / seconds : 0.0);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseArguments(argc, argv, options)) {
        usage();
        return kUsageError;
    }
    return options.bench > 0 ? bench(options) : judgeFiles(options);
}
