// Printing a SipMessage: every header appended into one string, names compact or full, lists
// on one line or one per line, URIs escaped as the switches say.
#include <string>

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMessage.h"
#include "kel_sip/syntax/SipSwitches.h"
#include "kel_sip/syntax/SipTokenizer.h"

namespace kel_sip {
namespace {

void appendName(std::string& out, int kind, bool compact) {
    out += SipHeader::printName(kind, compact);
    out += ": ";
}

// The elements of a list, on one line joined by ", " or one line each. A parsed element that
// prints nothing is left out, so no empty element or header line is written; a raw value
// (keepEmpty) is written even when empty, as "Subject:" may legally be.
template <typename List, typename PrintOne>
void printList(std::string& out, int kind, bool compact, const List& list, bool separateLines, PrintOne printOne,
               bool keepEmpty = false) {
    bool open = false;
    for (const auto& element : list) {
        const size_t mark = out.size();
        if (open && separateLines) out += "\r\n";
        if (!open || separateLines) {
            appendName(out, kind, compact);
        } else {
            out += ", ";
        }
        const size_t start = out.size();
        printOne(out, element);
        if (out.size() == start && !keepEmpty) {
            out.resize(mark);
        } else {
            open = true;
        }
    }
    if (open) out += "\r\n";
}

// A raw Contact value re-printed with escaping; false (nothing appended) when it does not parse.
bool printEscapedContacts(std::string& out, const std::string& value) {
    std::string printed;
    SipTokenizer tokenizer(value);
    int length = 0;
    try {
        while (const char* element = tokenizer.nextAddress(length)) {
            if (length == 0) continue;
            SipContact contact;
            contact.parse(element, length, true);
            if (!printed.empty()) printed += ", ";
            contact.print(printed, true);
        }
    } catch (const SipParseException&) {
        return false;
    }
    out += printed;
    return true;
}

// RFC 3261 section 7.3.1: the credentials and challenges do not follow the comma-list form,
// so several values of these MUST NOT be combined into one header line.
bool neverCombined(int kind) {
    return kind == SipHeader::WwwAuthenticate || kind == SipHeader::Authorization ||
           kind == SipHeader::ProxyAuthenticate || kind == SipHeader::ProxyAuthorization;
}

}  // namespace

void SipMessage::printStartLine(std::string& out) const {
    const std::string_view version = sipVersion.empty() ? std::string_view("SIP/2.0") : std::string_view(sipVersion);
    if (isRequest) {
        out += getMethodName();
        out += ' ';
        const bool escape = sipSwitch(SipSwitch::EscapeRequestURI);
        requestUri.print(out, escape, escape, escape);
        out += ' ';
        out += version;
    } else {
        out += version;
        out += ' ';
        out += std::to_string(statusCode);
        out += ' ';
        out += reasonPhrase;
    }
    out += "\r\n";
}

void SipMessage::printHeaders(std::string& out) const {
    printList(out, SipHeader::Via, compact, vias, viaSeparateLine,
              [](std::string& o, const SipVia& via) { via.print(o); });
    const bool escapeRecordRoute = sipSwitch(SipSwitch::EscapeRecordRoute);
    printList(out, SipHeader::RecordRoute, false, recordRoutes, recordRouteSeparateLine,
              [escapeRecordRoute](std::string& o, const SipRoute& route) { route.print(o, escapeRecordRoute); });
    const bool escapeRoute = sipSwitch(SipSwitch::EscapeRoute);
    printList(out, SipHeader::Route, false, routes, routeSeparateLine,
              [escapeRoute](std::string& o, const SipRoute& route) { route.print(o, escapeRoute); });
    if (!from.address.empty()) {
        appendName(out, SipHeader::From, compact);
        from.print(out, sipSwitch(SipSwitch::EscapeFrom));
        out += "\r\n";
    }
    if (!to.address.empty()) {
        appendName(out, SipHeader::To, compact);
        to.print(out, sipSwitch(SipSwitch::EscapeTo));
        out += "\r\n";
    }
    if (!callId.empty()) {
        appendName(out, SipHeader::CallId, compact);
        out += callId;
        out += "\r\n";
    }
    if (!cseq.empty()) {
        appendName(out, SipHeader::CSeq, false);
        cseq.print(out);
        out += "\r\n";
    } else if (!unparsedCSeq.empty()) {
        appendName(out, SipHeader::CSeq, false);
        out += unparsedCSeq;
        out += "\r\n";
    }
    if (maxForwards >= 0) {
        appendName(out, SipHeader::MaxForwards, false);
        out += std::to_string(maxForwards);
        out += "\r\n";
    }
    const bool escapeContact = sipSwitch(SipSwitch::EscapeContact);
    for (const SipHeaderList::Entry& entry : typedHeaders.getEntries()) {
        const bool escape = escapeContact && entry.kind == SipHeader::Contact;
        const bool separateLines = !oneLine || neverCombined(entry.kind);
        printList(out, entry.kind, compact, entry.values.getValues(), separateLines,
                  [escape](std::string& o, const std::string& value) {
                      if (!escape || !printEscapedContacts(o, value)) o += value;
                  },
                  true);
    }
    headers.print(out);
    if (!contentType.empty()) {
        appendName(out, SipHeader::ContentType, compact);
        out += contentType;
        out += "\r\n";
    }
    appendName(out, SipHeader::ContentLength, compact);
    out += std::to_string(body.getLength());
    out += "\r\n";
}

}  // namespace kel_sip
