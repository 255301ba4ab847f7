// The one in-memory form of a SIP request or response (RFC 3261 section 7).
//
// The headers the stack routes, matches and orders on have fields of their own (From, To,
// Call-ID, CSeq, Max-Forwards, Via, Route, Record-Route, Content-Type, Content-Length). Every
// other header of the kind table stays raw text under its kind in typedHeaders until somebody
// asks for its typed form (HeaderListBase::getTypedHeader); unknown headers are kept by name.
//
// A message is not shared between threads while it is changed; parsing and printing read the
// process-wide switches (SipSwitches.h) and nothing else that is shared.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kel_sip/syntax/HeaderListBase.h"
#include "kel_sip/syntax/SipCSeq.h"
#include "kel_sip/syntax/SipContact.h"
#include "kel_sip/syntax/SipContactList.h"
#include "kel_sip/syntax/SipFromTo.h"
#include "kel_sip/syntax/SipRoute.h"
#include "kel_sip/syntax/SipURI.h"
#include "kel_sip/syntax/SipVia.h"
#include "kel_util/ByteStream.h"
#include "kel_util/RFC822Message.h"

namespace kel_sip {

class SDP;

class SipMessage : public kel_util::RFC822Message, public HeaderListBase {
public:
    // Results of readFrom besides the byte count of a message (> 0).
    enum ReadResult : int {
        ReadClosed = 0,        // the peer closed before a message began
        ReadInvalid = -1,      // the start line, a header, Content-Length or the header size was invalid: out of step
        ReadKeepAlive = -2,    // an empty line where a start line was due (RFC 5626 CRLF keep-alive)
        ReadNoStartLine = -3,  // a receive failed (or timed out) before any byte of a start line
        ReadBufferFull = -4,   // a line longer than the receive buffer: out of step
        ReadBroken = -5,       // a receive failed or the peer closed inside a message: out of step
    };

    // The largest Content-Length accepted by parse (a datagram cannot carry more).
    static constexpr int MaxDatagramContentLength = 65535;
    // The default cap on Content-Length for readFrom.
    static constexpr int DefaultStreamContentLength = 1 << 20;
    // The most bytes readFrom takes for a start line and header block; a peer that sends
    // header lines without end is cut off there.
    static constexpr int MaxStreamHeaderLength = 65535;

    // An empty request with the layout flags taken from the switches.
    SipMessage();
    ~SipMessage() override = default;
    SipMessage(const SipMessage&) = default;
    SipMessage& operator=(const SipMessage&) = default;
    SipMessage(SipMessage&&) noexcept = default;
    SipMessage& operator=(SipMessage&&) noexcept = default;

    // The state of a new message again, layout flags re-read from the switches.
    void clear() override;
    // "METHOD uri SIP/2.0\r\n" or "SIP/2.0 code phrase\r\n".
    void printStartLine(std::string& out) const override;
    // Every header in the order Via, Record-Route, Route, From, To, Call-ID, CSeq, Max-Forwards,
    // typed kinds, generic headers, Content-Type, Content-Length, under the layout flags and
    // the escaping switches.
    void printHeaders(std::string& out) const override;
    // print (out) of RFC822Message gives the whole message: start line, headers, empty line, body.

    // Parses one whole message held in count bytes at data (a datagram; no NUL needed). Any
    // former content is cleared first. False with the reason of the last error on failure;
    // never throws a parse error.
    bool parse(const char* data, int count, std::string& reason);

    // Reads one message from a stream through a receive buffer of capacity bytes that holds
    // filled bytes already received (bytes of the next message stay there). Content-Length
    // must be digits within maxContentLength. Returns the bytes the message took, or a
    // ReadResult. With capture, up to captureCapacity raw bytes of the message are appended.
    int readFrom(kel_util::ByteSource& source, char* buffer, int capacity, int& filled, int flags, std::string& reason,
                 std::string* capture = nullptr, int captureCapacity = 0,
                 int maxContentLength = DefaultStreamContentLength);
    // Sends the start line and headers as one block, then the body; the bytes sent, 0 when a
    // send failed. With capture, up to captureCapacity sent bytes are appended.
    int writeTo(kel_util::ByteSink& sink, int flags, std::string* capture = nullptr, int captureCapacity = 0) const;

    // The method: for a request the table name of methodKind or methodName, for a response
    // the CSeq method.
    std::string_view getMethodName() const;
    // Sets methodKind and methodName from a name (the kind -1 for a method outside the table).
    void setMethod(std::string_view name);
    void setMethod(int kind);

    // RFC 3261 section 8.2 and 16.3 checks of a received message. status (400, 505 or 416)
    // is what a request that fails is answered with; reason names the first failure.
    bool validate(std::string& reason, int& status) const;

    // Builders (RFC 3261 sections 8.1, 8.2.6, 9.1, 12.2.1, 17.1.1.3).
    // Turns the message (usually a copy of the request) into a response; a null phrase takes
    // the phrase of the code. Vias, From, To, Call-ID and CSeq stay; everything else goes.
    void setResponse(int code, const char* phrase = nullptr);
    // Turns a request into the ACK for a non-2xx final response; false on a response.
    bool makeAck();
    // Makes response a response to this request: code, phrase, version, From, To, Call-ID, CSeq
    // and all Vias; a 100 also gets the request's Timestamp.
    void fillResponse(SipMessage& response, int code, const char* phrase) const;
    // The same plus the header the code calls for, with value as its text: 400 Reason-Phrase,
    // 401 WWW-Authenticate, 407 Proxy-Authenticate, 420 Unsupported, 489 Allow-Events.
    void fillResponse(SipMessage& response, int code, const char* phrase, const char* value) const;
    // The same with a number (when greater than 0): 422 Min-SE, 423 Min-Expires, 500 Retry-After.
    void fillResponse(SipMessage& response, int code, const char* phrase, int value) const;
    // Fills target as a request of methodKind with this request's Request-URI, version, From,
    // To, Call-ID, CSeq number, Max-Forwards and top Via (CANCEL, non-2xx ACK); withRoutes
    // copies the Route headers too. False on a response.
    bool makeRequestFrom(SipMessage& target, int kind, bool withRoutes) const;
    // Sets the Request-URI and Route set by RFC 3261 section 12.2.1.1: loose routing when the
    // first SIP route has "lr"; else strict routing (that route's URI is the Request-URI and
    // the remote target the last Route), which returns true.
    bool setTarget(const SipURI& remoteTarget, const std::vector<SipRoute>& routeSet);
    void addRoutes(const std::vector<SipRoute>& list);
    // Puts list before the existing Record-Route entries, keeping its order.
    void prependRecordRoutes(const std::vector<SipRoute>& list);
    // Every Contact element of every Contact value (RFC 3261 section 10.2.1.2); false when a
    // value does not parse (the list is then empty) or there is none.
    bool getContacts(std::vector<SipContact>& list, SipContactOptions options) const;
    // The body as a session description when the Content-Type is "application/sdp" (media
    // type compared without case, parameters ignored): true when it parses into session.
    // An SDP type with an empty body or one that does not parse sets bad and returns false
    // with session cleared; any other type returns false and leaves bad alone.
    bool getSdp(SDP& session, bool& bad) const;

    bool isRequest = true;
    int methodKind = -1;
    std::string methodName;
    int statusCode = 0;
    std::string sipVersion = "SIP/2.0";
    SipURI requestUri;
    std::string reasonPhrase;
    SipFromTo from;
    SipFromTo to;
    std::string callId;
    SipCSeq cseq;
    // A received CSeq value that did not parse, kept so that the 400 answering it carries the
    // line as received (RFC 3261 section 8.2.6.2) and the client can match it; printed only
    // while cseq is empty.
    std::string unparsedCSeq;
    int maxForwards = -1;
    std::vector<SipVia> vias;  // topmost first
    std::vector<SipRoute> routes;
    std::vector<SipRoute> recordRoutes;
    SipHeaderList typedHeaders;
    // Output layout, copied from the switches when the message is made or cleared.
    bool compact = false;
    bool oneLine = false;
    bool viaSeparateLine = false;
    bool routeSeparateLine = false;
    bool recordRouteSeparateLine = false;

protected:
    SipHeaderList& typedList() override { return typedHeaders; }
    const SipHeaderList& typedList() const override { return typedHeaders; }
    kel_util::RFC822HeaderList& genericList() override { return headers; }
    const kel_util::RFC822HeaderList& genericList() const override { return headers; }

private:
    class Parser;
    void copyLayoutSwitches();
    // Parses the header lines from next up to end; returns the start of the body (the byte
    // after the empty line), null when the block did not end.
    static const char* parseHeaderBlock(Parser& parser, const char* next, const char* end);
    void copyDialogFields(SipMessage& target) const;
};

}  // namespace kel_sip
