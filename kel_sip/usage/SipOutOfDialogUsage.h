// What a registrant and a publisher share: a series of out-of-dialog requests (RFC 3261
// section 8.1) with their own Call-ID and CSeq counter, sent to one Request-URI for one address
// of record, each with the stored credentials and headers, and one refresh timer (name 0) kept
// under the usage's ID number. The owning controller finds the usage by that number, which
// travels as the user ID of each request and names the timer.
//
// Threads: a usage is touched only while its list entry is locked.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "kel_sip/syntax/HeaderList.h"
#include "kel_sip/syntax/SipMessageExt.h"
#include "kel_sip/transaction/AuthenticateData.h"
#include "kel_sip/transaction/TransactionUserExt.h"
#include "kel_sip/usage/SipDialog.h"

namespace kel_sip {

// Where the requests of a usage go and what they carry besides their own fields.
struct SipUsageStart {
    SipURI requestUri;
    SipFromTo addressOfRecord;                      // To and From; a tag given here is ignored
    std::optional<SipPeerAddress> peer;             // the next hop when set
    const AuthenticateData* credentials = nullptr;  // copied when given
    const HeaderListBase* headers = nullptr;        // copied, added to every request
    std::string callId;                             // a new one when empty (a digest retry gives the challenged one)
    std::optional<int> initialSeqNo;                // the counter before the first request; else InitialLocalSeqNo - 1
    int transportType = -1;                         // SipTransportType; negative: the controller's default
    int transportId = -1;
    int connectionId = -1;
};

// The largest lifetime a usage keeps, in seconds: a peer's value above it is taken as this, so
// that half of it in milliseconds still fits a timer.
inline constexpr std::int64_t kMaxUsageLifetime = 0x7fffffff;

// A lifetime read from the network, clamped to 0..kMaxUsageLifetime.
int clampLifetime(std::int64_t seconds);

class SipOutOfDialogUsage {
public:
    // className names the usage in log lines ("SipRegistrant"); owner must outlive the usage.
    SipOutOfDialogUsage(TransactionUserExt& owner, const char* className);
    virtual ~SipOutOfDialogUsage();
    SipOutOfDialogUsage(const SipOutOfDialogUsage&) = delete;
    SipOutOfDialogUsage& operator=(const SipOutOfDialogUsage&) = delete;

    // Takes the addressing, credentials and headers, the Call-ID and the CSeq counter.
    void start(const SipUsageStart& start);

    int getId() const noexcept { return id_; }
    void setId(int id) noexcept { id_ = id; }
    int getState() const noexcept { return state_; }
    // The state's name, for the log lines.
    virtual const char* getStateString() const = 0;
    const std::string& getCallId() const noexcept { return callId_; }
    // The CSeq number of the last request sent.
    int getSeqNo() const noexcept { return seqNo_; }
    // The client transaction of the outstanding request; 0 when none.
    int getClientTransactionId() const noexcept { return clientTransactionId_; }
    const SipURI& getRequestUri() const noexcept { return requestUri_; }
    const SipFromTo& getAddressOfRecord() const noexcept { return addressOfRecord_; }
    AuthenticateData* credentials() noexcept { return credentials_.get(); }
    bool isRefreshTimerRunning() const noexcept { return refreshTimerRunning_; }
    void stopRefreshTimer();

    // The events of the outstanding request's transaction and of the refresh timer. A final
    // response goes to onSuccess or onFailure; a time-out or transport error leaves the usage
    // Idle and goes to onLost; the refresh timer in the set state goes to refresh. Anything
    // else (an older CSeq, a provisional response, a late timer) is logged and dropped.
    bool onReceiveResponse(SipMessageExt& response);
    bool onClientTransactionTimeout(const SipMessageExt& request);
    bool onRequestTransportError(const SipMessageExt& request);
    // False for a timer the usage does not know.
    bool onTimeout(int timerName);

    // The event numbers both usages give to a lost request.
    static constexpr int kTimeoutEvent = 4;
    static constexpr int kTransportErrorEvent = 5;

protected:
    // The next request of methodKind: Request-URI, To and From the address of record (From
    // with localTag, or the usage's own tag), Call-ID, the next CSeq number, Max-Forwards and a
    // new top Via whose transport the binding gives, else the Request-URI, else the usage's type.
    std::unique_ptr<SipMessageExt> createRequest(int methodKind, const char* localTag);
    // Adds the credentials and the stored headers, chooses the next hop (the peer, else the
    // outbound peer, else the Request-URI and Route) and sends; stores the client transaction.
    bool send(SipMessageExt& request);
    // Whether the stored headers hold one of kind.
    bool storedHeadersHave(int kind) const { return headers_ && headers_->hasHeader(kind); }
    // The states both usages share: a request outstanding that sets the state (Registering,
    // Publishing), the state set (Registered, Published), a request outstanding that removes
    // it (Unregistering, Unpublishing).
    static constexpr int kSettingState = 1;
    static constexpr int kSetState = 2;
    static constexpr int kRemovingState = 3;

    virtual void onSuccess(SipMessageExt& response) = 0;
    virtual void onFailure(SipMessageExt& response) = 0;
    // The usage is Idle already; event is kTimeoutEvent or kTransportErrorEvent.
    virtual void onLost(const SipMessageExt& request, int event) = 0;
    virtual void refresh() = 0;
    // The refresh timer at half the lifetime (RFC 3261 section 10.2.4, RFC 3903 section 4.1).
    void startRefreshTimer(int lifetimeSeconds);
    int state_ = 0;
    std::unique_ptr<AuthenticateData> credentials_;

private:
    // Whether request is the outstanding request; if so the usage is Idle again, its
    // transaction and refresh timer gone.
    bool takeLostRequest(const SipMessageExt& request, const char* operation);
    // Whether message belongs to the last request sent; otherwise it is logged as ignored.
    bool isCurrent(const SipMessageExt& message, const char* operation) const;
    bool isOutstanding() const { return state_ == kSettingState || state_ == kRemovingState; }

    TransactionUserExt& owner_;
    const char* const className_;
    int id_ = 0;
    SipURI requestUri_;
    SipFromTo addressOfRecord_;
    std::string localTag_;
    std::string callId_;
    int seqNo_ = 0;
    std::optional<SipPeerAddress> peer_;
    SipDialogBinding binding_;
    std::unique_ptr<HeaderList> headers_;
    int clientTransactionId_ = 0;
    bool refreshTimerRunning_ = false;
};

}  // namespace kel_sip
