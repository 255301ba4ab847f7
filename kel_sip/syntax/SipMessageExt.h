// A SIP message with the transport bookkeeping that travels with it inside the stack: where
// it came from or goes to, and which transport and connection carry it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kel_sip/syntax/SipMessage.h"
#include "kel_sip/syntax/SipPeerAddress.h"

namespace kel_sip {

// The fields of a new request (RFC 3261 section 8.1.1).
struct SipRequestFields {
    int methodKind = -1;
    SipFromTo from;
    SipFromTo to;
    std::string callId;
    int cseqNumber = 1;
    const SipContact* contact = nullptr;  // added as a Contact value when given
    int maxForwards = 70;
};

class SipMessageExt : public SipMessage {
public:
    SipMessageExt() = default;
    ~SipMessageExt() override = default;
    SipMessageExt(const SipMessageExt&) = default;
    SipMessageExt& operator=(const SipMessageExt&) = default;
    SipMessageExt(SipMessageExt&&) noexcept = default;
    SipMessageExt& operator=(SipMessageExt&&) noexcept = default;

    // Also forgets the peer and sets the three ids to -1.
    void clear() override;

    // A request to requestUri with the given fields.
    static std::unique_ptr<SipMessageExt> createRequest(const SipRequestFields& fields, const SipURI& requestUri);
    // A request inside a dialog, addressed by setTarget (remote target and route set).
    static std::unique_ptr<SipMessageExt> createInDialogRequest(const SipRequestFields& fields, const SipURI& remoteTarget,
                                                                const std::vector<SipRoute>& routeSet);
    // The ACK or BYE for a 2xx response on the calling side (RFC 3261 sections 12.1.2 and
    // 13.2.2.4): to the response's first Contact, with the route set of its Record-Route
    // entries in reverse order after dropping the first skipCount of them, and the response's
    // From, To, Call-ID and CSeq number. Null when the response has no usable SIP Contact.
    // The transport type and id are copied, the connection id only with copyConnection.
    static std::unique_ptr<SipMessageExt> createRequestFromResponse(int methodKind, const SipMessageExt& response,
                                                                    const SipContact* contact, int skipCount,
                                                                    int maxForwards, bool copyConnection);

    // A response to this request (fillResponse); the transport and connection ids are copied,
    // the peer only with copyPeer.
    std::unique_ptr<SipMessageExt> createResponse(int code, const char* phrase, bool copyPeer) const;
    std::unique_ptr<SipMessageExt> createResponse(int code, const char* phrase, const char* value, bool copyPeer) const;
    std::unique_ptr<SipMessageExt> createResponse(int code, const char* phrase, int value, bool copyPeer) const;
    // The CANCEL of this request (RFC 3261 section 9.1) with its peer and ids; null on a response.
    std::unique_ptr<SipMessageExt> createCancel(bool withRoutes) const;

    // Sets peer to the next hop: for a request the first Route when it is a loose router,
    // else the Request-URI (maddr before host, the port or the transport's default; RFC 3261
    // section 8.1.2); for a response responseDestination of the top Via. False when there is
    // no host to send to.
    bool setMessagePeer();
    // stampReceived on the top Via with peer as the source; false without a Via or a peer.
    bool stampReceived();

    SipPeerAddress peer;
    int transportId = -1;
    int transportType = -1;  // SipTransportType
    int connectionId = -1;

private:
    void copyTransport(SipMessageExt& target, bool withPeer) const;
};

}  // namespace kel_sip
