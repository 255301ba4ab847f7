// The transaction layer as its users see it (RFC 3261 section 17): they register for methods,
// send requests and responses through it and receive the events of TransactionTypes.h.
// Every operation of this base refuses (false, -1 or nothing); SipTransactionControllerImpl
// is the working one, and tests of users may derive their own.
//
// Threads: every operation may be called from any thread, including the users' workers.
#pragma once

#include <string>
#include <vector>

#include "kel_sip/syntax/SipMessageExt.h"
#include "kel_util/EventHandler2.h"

namespace kel_sip {

class SipTransactionController {
public:
    virtual ~SipTransactionController() = default;

    // Makes user the receiver of requests of these method kinds (SipMethod); false when one
    // of them already has a user.
    virtual bool addTransactionUser(const std::vector<int>& methodKinds, kel_util::EventHandler2* user) {
        (void)methodKinds;
        (void)user;
        return false;
    }
    // Sends a copy of request in a new client transaction owned by user; userId comes back
    // with every event of the transaction. Returns the client transaction ID, 0 for an ACK
    // (sent outside any transaction, RFC 3261 section 17.1.1.3), -1 on failure.
    virtual int sendRequest(const SipMessageExt& request, int userId, kel_util::EventHandler2* user) {
        (void)request;
        (void)userId;
        (void)user;
        return -1;
    }
    // Sends a copy of response on the server transaction with this ID; parameter comes back
    // with its later events.
    virtual bool sendResponse(int serverTransactionId, const SipMessageExt& response, int parameter) {
        (void)serverTransactionId;
        (void)response;
        (void)parameter;
        return false;
    }
    // Sends a copy of response on the server transaction it matches; notifyFailureAck asks an
    // INVITE server transaction to pass the ACK of a failure response on. A 2xx to INVITE
    // without a transaction is sent directly (the user's own 2xx retransmission).
    virtual bool sendResponse(const SipMessageExt& response, int parameter, bool notifyFailureAck) {
        (void)response;
        (void)parameter;
        (void)notifyFailureAck;
        return false;
    }
    // The ID of the INVITE server transaction in Proceeding that cancel aims at (RFC 3261
    // section 9.2), or -1.
    virtual int findTrancsactionToCancel(const SipMessageExt& cancel) {
        (void)cancel;
        return -1;
    }
    // Ends a transaction before its time; false for an unknown ID.
    virtual bool deleteClientTransaction(int id) {
        (void)id;
        return false;
    }
    virtual bool deleteServerTransaction(int id) {
        (void)id;
        return false;
    }
    // A new branch (RFC 3261 section 8.1.1.7) that no client transaction uses.
    virtual void createBranch(std::string& branch) { branch.clear(); }
};

}  // namespace kel_sip
