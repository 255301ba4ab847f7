// A dialog (RFC 3261 section 12): the peer-to-peer relationship that an INVITE, SUBSCRIBE or
// REFER sets up. It holds its identity, addressing, sequence numbers and transport binding,
// builds the requests and responses sent inside it, and is the target of every event of its
// transactions: the owning controller finds it by its ID number, which travels as the user ID
// of each request it sends and names each timer it starts.
//
// The sending and timer operations forward to the owning controller (a TransactionUserExt)
// and its transaction controller; concrete dialogs (the session and subscriber dialogs)
// override the event procedures.
//
// Threads: a dialog is touched only while its SipDialogList entry is locked.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kel_sip/syntax/HeaderListBase.h"
#include "kel_sip/syntax/SipMessageExt.h"
#include "kel_sip/syntax/SipTransportType.h"
#include "kel_sip/transaction/AuthenticateData.h"
#include "kel_sip/transaction/TransactionUserExt.h"
#include "kel_sip/usage/SipDialogIDExt.h"
#include "kel_sip/usage/SipDialogInfo.h"

namespace kel_sip {

enum SipDialogState : int { kDialogIdle = 0, kDialogPending = 1, kDialogEarly = 2, kDialogConfirmed = 3 };

// "Idle", "Pending", "Early", "Confirmed"; "Unkown" for any other value.
const char* dialogStateString(int state);

// What the side that starts a dialog gives (RFC 3261 section 12.1.2).
struct SipDialogStart {
    std::string callId;
    SipURI requestUri;         // the first remote target
    SipFromTo localParty;      // tag ignored
    SipFromTo remoteParty;     // tag ignored
    SipAddress localContact;
    const AuthenticateData* credentials = nullptr;  // copied when given
    int transportType = kTransportUDP;
    int transportId = -1;
    int maxForwards = 70;
    std::string localTag;      // a new tag when empty
    std::optional<int> initialLocalSeqNo;  // CSeq of the first request; else per InitialLocalSeqNo
};

// Where a dialog is bound: the transport's type, and the transport and connection it uses
// (-1 = none).
struct SipDialogBinding {
    int transportType = kTransportUDP;
    int transportId = -1;
    int connectionId = -1;

    // Bound to one connection of a connection-oriented transport: responses and requests stay
    // on it, so no next hop is chosen.
    bool isConnection() const {
        return (transportType == kTransportTCP || transportType == kTransportTLS) && transportId >= 0 &&
               connectionId >= 0;
    }
};

class SipDialog {
public:
    // owner and transactions must outlive the dialog.
    SipDialog(TransactionUserExt& owner, SipTransactionController& transactions);
    virtual ~SipDialog();
    SipDialog(const SipDialog&) = delete;
    SipDialog& operator=(const SipDialog&) = delete;

    // Drops what a concrete dialog owns; called when its list entry is deleted.
    virtual void clean();
    // A timer of the owning controller named (ID number, timerName).
    virtual bool startTimer(int milliseconds, int timerName);
    virtual void stopTimer(int timerName);
    // The controller's sendRequest with the ID number as the user ID: the client transaction
    // ID (0 for an ACK), negative on failure.
    virtual int sendRequest(const SipMessageExt& request);
    // By message, with the ID number as the parameter.
    virtual bool sendResponse(const SipMessageExt& response, bool notifyFailureAck);
    bool sendResponse(const SipMessageExt& response) { return sendResponse(response, false); }
    virtual bool sendResponseFromRequest(const SipMessageExt& request, int statusCode, const char* reasonPhrase,
                                         const ResponseContent& content, const char* toTag);
    virtual bool sendResponseFromRequest(int serverTransactionId, const SipMessageExt& request, int statusCode,
                                         const char* reasonPhrase, const char* toTag);
    virtual std::string createBranch();
    virtual std::optional<SipPeerAddress> getOutboundPeer() const;
    virtual bool getUpdateFromAddress() const;
    virtual bool getUpdateToAddress() const;
    virtual bool deleteClientTransaction(int id);
    virtual bool deleteServerTransaction(int id);

    // The events of the dialog's timers and transactions. These defaults log the event as
    // undefined and fail; onReceiveRequest answers 405 and succeeds when that went out.
    virtual bool onTimeout(int timerName);
    virtual bool onReceiveRequest(SipMessageSlot& request, int serverTransactionId);
    virtual bool onReceiveResponse(SipMessageSlot& response);
    virtual bool onClientTransactionTimeout(SipMessageSlot& request);
    virtual bool onRequestTransportError(SipMessageSlot& request);
    virtual bool onResponseTransportError(SipMessageSlot& response);

    // Creation, Idle -> Pending. As the side that sends the dialog-creating request (RFC 3261
    // section 12.1.2), or from a received one (section 12.1.1; localTag empty: a new tag).
    // False, with the dialog left Idle, when it is not Idle or the request's Contact or
    // Record-Route cannot be used.
    bool createAsCaller(const SipDialogStart& start);
    bool createFromRequest(const SipMessageExt& request, int transportType, int transportId, int maxForwards,
                           const std::string& localTag);
    // The local CSeq counter of a new dialog: its first request carries initialLocalSeqNo, or
    // a random number below 2^30 plus 1 when initialLocalSeqNo is negative (RFC 3261 section
    // 8.1.1.5).
    void setInitialLocalSeqNo(int initialLocalSeqNo);
    // A 2xx to the dialog-creating request (RFC 3261 section 12.1.2): remote tag from To,
    // remote target from Contact (kept when that is not a SIP URI), route set from
    // Record-Route reversed, the parties per the owner's update flags; Confirmed. False, with
    // nothing changed, when Contact or Record-Route cannot be used.
    bool confirm(const SipMessageExt& response);
    // Takes the addressing a transaction of the dialog collected (a 2xx sent, an UPDATE
    // answered). The local CSeq counter only ever rises: a request sent in the dialog after the
    // data was copied (UPDATE, PRACK) has used numbers the data does not know.
    void adoptInfo(const SipDialogInfo& info);
    // A fresh local tag (the answer to an INVITE that forked within this side).
    void renewLocalTag();

    // A request in the dialog (RFC 3261 section 12.2.1.1): Request-URI and Route from the
    // remote target and route set, From, To, Call-ID, CSeq (cseqNumber and method),
    // Max-Forwards, Contact, and a new top Via with the transport the binding gives.
    std::unique_ptr<SipMessageExt> createRequest(std::string_view method, int cseqNumber);
    // A response in the dialog to a request with these Vias and CSeq: From and To from the
    // parties and tags (no To tag on a 100), the route set as Record-Route on 101-299
    // (section 12.1.1), the local contact as Contact on 101-399.
    std::unique_ptr<SipMessageExt> createResponse(const std::vector<SipVia>& vias, std::string_view method,
                                                  int cseqNumber, int statusCode, const char* reasonPhrase) const;
    // Sends request after choosing its next hop, unless the dialog is bound to a connection:
    // the outbound peer when set, else peer when given, else the first route of a loose route
    // set or the Request-URI (with strictRouting, the Request-URI: RFC 3261 section 12.2.1.1).
    // The client transaction ID, -1 on failure.
    int sendRequestTo(SipMessageExt& request, const SipPeerAddress* peer, bool strictRouting);
    // A request of any method in an Early or Confirmed dialog with the next local CSeq, the body
    // (content type "application/sdp" when none is given) and headers. False when refused.
    bool sendDialogRequest(std::string_view method, std::string_view body, std::string_view contentType,
                           const HeaderListBase* headers);

    int getId() const noexcept { return id_; }
    void setId(int id) noexcept { id_ = id; }
    int getState() const noexcept { return state_; }
    void setState(int state) noexcept { state_ = state; }
    const char* getStateString() const { return dialogStateString(state_); }
    SipDialogIDExt& dialogId() noexcept { return dialogId_; }
    const SipDialogIDExt& dialogId() const noexcept { return dialogId_; }
    SipDialogInfo& info() noexcept { return info_; }
    const SipDialogInfo& info() const noexcept { return info_; }
    SipDialogBinding& binding() noexcept { return binding_; }
    const SipDialogBinding& binding() const noexcept { return binding_; }
    int getMaxForwards() const noexcept { return maxForwards_; }
    void setMaxForwards(int value) noexcept { maxForwards_ = value; }
    // The digest credentials, when the dialog has them; replaced as a whole by a copy.
    AuthenticateData* credentials() noexcept { return credentials_.get(); }
    void setCredentials(const AuthenticateData* credentials);
    // The time of the owner's timer clock.
    kel_util::ClockSource::TimePoint now() { return owner_.now(); }
    // A number the application keeps with the dialog; 0 at construction.
    int userValue = 0;

protected:
    TransactionUserExt& owner() noexcept { return owner_; }

private:
    TransactionUserExt& owner_;
    SipTransactionController& transactions_;
    int id_ = 0;
    int state_ = kDialogIdle;
    SipDialogIDExt dialogId_;
    SipDialogInfo info_;
    SipDialogBinding binding_;
    int maxForwards_ = 70;
    std::unique_ptr<AuthenticateData> credentials_;
};

}  // namespace kel_sip
