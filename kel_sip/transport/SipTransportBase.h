// What the UDP and TCP transports share: the transport's identity, the values it puts in the
// top Via of the requests it sends, and the receive path that checks each received message,
// answers broken requests itself and hands the rest to the transaction controller.
//
// Threads: sendRequest and sendResponse may be called from any thread, concurrently; the
// setters too (each value is copied under its own mutex). The receive path runs on the
// transport's own workers.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "kel_sip/syntax/SipGenericField.h"
#include "kel_sip/syntax/SipMessageExt.h"
#include "kel_util/Mutex.h"

namespace kel_sip {

class SipTransportReceiver;

class SipTransportBase {
public:
    // receiver (the transaction controller) must outlive the transport.
    SipTransportBase(SipTransportReceiver& receiver, int transportId);
    virtual ~SipTransportBase();
    SipTransportBase(const SipTransportBase&) = delete;
    SipTransportBase& operator=(const SipTransportBase&) = delete;

    // Sends a request: stamps the transport's ID and type, sets the message's peer when it has
    // none (SipMessageExt::setMessagePeer), completes the top Via (sent-by, rport, the extra
    // parameters) and writes it. False, logged, when it has no Via or cannot be sent; never
    // throws. A send filter that swallows the message counts as success.
    virtual bool sendRequest(SipMessageExt& message, int transactionId) = 0;
    // Sends a response to its peer, or when it has none to the address its top Via names
    // (RFC 3261 section 18.2.2, RFC 3581 section 4). The Vias are left as they are.
    virtual bool sendResponse(SipMessageExt& message, int transactionId) = 0;
    // SipTransportType: kTransportUDP or kTransportTCP.
    virtual int getTransportType() const = 0;
    // AF_INET or AF_INET6: the family of the local address the transport is bound to.
    virtual int getLocalAddressFamily() const = 0;

    int getTransportId() const noexcept { return transportId_; }

    // The extra parameters put on the top Via of every request sent, as after the sent-by of
    // a Via ("a=1;b"). Null is refused (false); "" clears them; a text that does not parse
    // clears them too and returns false.
    bool setViaParams(const char* params);
    // Sets the Via sent-by host when host is given, and the port when it is 0 or more
    // (0 prints no port).
    void setSentBy(const char* host, int port);
    // With rport on, requests ask for the RFC 3581 rport parameter.
    void setViaRPort(bool on) noexcept;
    bool getViaRPort() const noexcept { return viaRPort_.load(std::memory_order_relaxed); }
    // The extra Via parameters as stored ("a=1;b"), "" for none.
    std::string getViaParams() const;

    // The current sent-by values (copies).
    std::string getSentByHost() const;
    int getSentByPort() const;

protected:
    // Hands a received message to the transaction controller. True: the controller took it
    // (message is null); false: it stays with the caller. Logged either way.
    bool notifyTransaction(int eventType, std::unique_ptr<SipMessageExt>& message, intptr_t param2);

    // The receive path shared by all transports for one parsed message whose peer is set:
    // receive filter, validation (RFC 3261 section 8.2, 16.3), the transport's own answers
    // (400/505/416 with a Reason-Phrase header, 200 to its own OPTIONS, 500 when the controller
    // cannot take a request), received/rport stamping (RFC 3261 section 18.2.1, RFC 3581
    // section 4) and the hand-over. No response is ever sent to an ACK (RFC 3261 section
    // 17.1.1.3): a broken or refused ACK is dropped and logged. Consumes message. False when a
    // request could be neither passed on nor answered.
    bool procReceiveSipMessage(std::unique_ptr<SipMessageExt> message);

    // Turns a received request that is not passed on into the response code (with an optional
    // Reason-Phrase value), gives To a fresh tag when it has none and sends it from this
    // transport. An ACK is never answered: it is dropped and logged, and the result is true.
    // logPrefix names the caller in the log lines. False when sending failed.
    bool answerRequest(SipMessageExt& request, int code, const std::string& reason, const char* logPrefix);

    // Completes the top Via of a request about to be sent: sent-by host and port, a bare rport
    // when switched on, and the extra parameters in place of its generic parameters.
    void completeTopVia(SipVia& via) const;

private:
    bool procReceiveRequest(std::unique_ptr<SipMessageExt> message);
    bool _procReceiveRequest(std::unique_ptr<SipMessageExt> message);
    // True when the request is an OPTIONS to this host that the transport answers itself.
    bool checkOptions(const SipMessageExt& request) const;

    SipTransportReceiver& receiver_;
    const int transportId_;

    mutable kel_util::Mutex sentByMutex_;
    std::string sentByHost_;  // guarded by sentByMutex_
    int sentByPort_ = 0;      // guarded by sentByMutex_

    std::atomic<bool> viaRPort_{false};

    mutable kel_util::Mutex viaParamsMutex_;
    SipGenericField viaParams_;  // guarded by viaParamsMutex_
};

}  // namespace kel_sip
