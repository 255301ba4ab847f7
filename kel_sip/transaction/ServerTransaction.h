// The base of the two server machines (RFC 3261 section 17.2): the matching data of the
// request, the last response sent (which it retransmits) and, on reliable transports, the
// request's source, to which every response goes back.
#pragma once

#include <string>

#include "kel_sip/syntax/SipPeerAddress.h"
#include "kel_sip/transaction/ServerTransactionID.h"
#include "kel_sip/transaction/SipTransaction.h"

namespace kel_sip {

class ServerTransaction : public SipTransaction {
public:
    using SipTransaction::SipTransaction;

    const std::string& key() const override { return match_.key(); }
    // False without a Via.
    bool setRequest(const SipMessageExt& request) override;

    // A request of the transaction's method that matches with its To tag (a retransmission).
    virtual bool isRequestMatching(const SipMessage& request) const;
    // A response of the transaction's method that matches without To tag (the user's answer).
    bool isResponseMatching(const SipMessage& response) const;
    // Whether a CANCEL is aimed at this transaction (RFC 3261 section 9.2); only an INVITE
    // server transaction in Proceeding can be.
    virtual bool isCancelMatching(const SipMessage& request) const;

    // The request that created the transaction, or one that matched it later.
    virtual bool onReceiveRequest(SipMessageSlot& request) = 0;
    // Sends a copy of response, which the caller keeps; parameter comes back with the
    // notifications that follow. notifyFailureAck asks an INVITE server transaction to pass the
    // ACK of a failure response to the user. False when the state takes no response or the
    // send fails.
    virtual bool onSendResponse(const SipMessageExt& response, int parameter, bool notifyFailureAck) = 0;

    const SipMessageExt* getLastResponse() const { return lastResponse_.get(); }

protected:
    const ServerTransactionID& matchData() const { return match_; }
    // On a reliable transport, remembers where the request came from (RFC 3261 section
    // 18.2.2: the response goes back over the request's connection).
    void keepSource(const SipMessageExt& request);
    // Makes response the last response, addresses it and sends it; false when the send fails.
    bool sendAndKeep(SipMessageSlot response);
    bool resendLastResponse() { return sendResponseByTransport(*lastResponse_); }
    SipMessageSlot& keptMessage() override { return lastResponse_; }
    int transportErrorType() const override { return SIPTRANSACTION_EVMSGTYPE_RESPONSETRANSPORTERROR; }

    SipMessageSlot lastResponse_;

private:
    ServerTransactionID match_;
    bool sourceKept_ = false;
    SipPeerAddress source_;
    int sourceConnectionId_ = -1;
};

}  // namespace kel_sip
