// The usage controller that carries calls (RFC 3261 sections 12 to 15): a SipSessionDialog per
// call, found by ID number for what this side sent (responses, time-outs, errors, timers) and
// by dialog ID for what the peer sends. It routes each event to the dialog, removes a dialog
// once its parts have ended, and ends a 2xx to INVITE that finds no dialog with ACK and BYE.
// Session steps reach the user agent through onSipSessionEvent; requests the calls do not
// handle through onSipSessionDialogEvent and onSipSessionControllerEvent. Register it with the
// transaction controller for INVITE, ACK, BYE, CANCEL, INFO, REFER, UPDATE, PRACK, NOTIFY,
// OPTIONS, REGISTER, SUBSCRIBE, MESSAGE and PUBLISH.
//
// Threads: the operations the user agent calls (invite, acknowledge, ...) may be called from
// any thread; the procedures run on the workers, each giving up the eventLock once it holds the
// dialog list. The event hooks are called on a worker with the dialog's entry lock held.
#pragma once

#include <atomic>
#include <functional>
#include <string_view>

#include "kel_sip/syntax/SipReferTo.h"
#include "kel_sip/syntax/SipReferredBy.h"
#include "kel_sip/transaction/TransactionUserExt.h"
#include "kel_sip/usage/SipDialogList.h"
#include "kel_sip/usage/SipNotifierControllerBase.h"
#include "kel_sip/usage/SipSessionDialog.h"
#include "kel_sip/usage/SipSubscriberControllerBase.h"

namespace kel_sip {

class SipSessionController : public TransactionUserExt,
                             public SipSubscriberControllerBase,
                             public SipNotifierControllerBase {
public:
    explicit SipSessionController(SipTransactionController& controller,
                                  kel_util::ClockSource& clock = kel_util::clockSource());
    ~SipSessionController() override;

    // The most dialogs at once; a new INVITE or REFER beyond it is answered 480. 0 = no limit.
    int getMaxDialogs() const noexcept { return maxDialogs_.load(std::memory_order_relaxed); }
    void setMaxDialogs(int count) noexcept { maxDialogs_.store(count, std::memory_order_relaxed); }
    // How many dialogs the controller holds now.
    std::size_t getDialogCount();

    // T1 and T2 of the 2xx retransmission to INVITE (RFC 3261 section 13.3.1.4), milliseconds:
    // 500 and 4000 at construction. A T1 of 0 or less is not taken.
    int getTimerT1() const noexcept { return timerT1_.load(std::memory_order_relaxed); }
    void setTimerT1(int milliseconds) noexcept;
    int getTimerT2() const noexcept { return timerT2_.load(std::memory_order_relaxed); }
    void setTimerT2(int milliseconds) noexcept { timerT2_.store(milliseconds, std::memory_order_relaxed); }
    // What a session created by a received INVITE makes of 100rel (RFC 3262): with
    // Process100rel on and process type 0 a Require of it is refused with 420. Process type 0,
    // 1 or 2 (others are stored as 0). On and 0 at construction.
    bool getProcess100rel() const noexcept { return process100rel_.load(std::memory_order_relaxed); }
    void setProcess100rel(bool on) noexcept { process100rel_.store(on, std::memory_order_relaxed); }
    int getTerm100relProcessType() const noexcept { return term100relProcessType_.load(std::memory_order_relaxed); }
    void setTerm100relProcessType(int type) noexcept;
    // What a session makes of session timers (RFC 4028): ProcessSessionTimer (on), the process
    // type of a session created by a received INVITE (TermSessionTimerProcessType, 0; others
    // are stored as 0), MinSE (seconds, 0; a negative value is not taken), when a 2xx sent uses
    // the timer (SessionTimerStartType: 0 the INVITE required it, 1 it supported it, 2 always;
    // others are stored as 0), refresh with UPDATE instead of re-INVITE (off), "timer" in
    // Require on every 2xx that uses the timer (off).
    void setProcessSessionTimer(bool on) noexcept { processSessionTimer_.store(on, std::memory_order_relaxed); }
    void setTermSessionTimerProcessType(int type) noexcept;
    void setMinSE(int seconds) noexcept;
    void setSessionTimerStartType(int type) noexcept;
    void setUseUpdateSessionRefresh(bool on) noexcept { useUpdateRefresh_.store(on, std::memory_order_relaxed); }
    void setForceRequireTimer(bool on) noexcept { forceRequireTimer_.store(on, std::memory_order_relaxed); }
    // The settings above as a new session starts with them.
    SessionTimerParams getSessionTimerDefaults() const noexcept;
    // Options the sessions read as they go (off at construction): RSeq on a reliable
    // provisional response even without Process100rel; a 2xx to INVITE while a reliable
    // provisional waits for PRACK (the wait ends); a 183 with SDP stops the NoAnswer timer.
    bool getAlwaysRSeq() const noexcept { return alwaysRSeq_.load(std::memory_order_relaxed); }
    void setAlwaysRSeq(bool on) noexcept { alwaysRSeq_.store(on, std::memory_order_relaxed); }
    bool getSend2xxBeforePrAck() const noexcept { return send2xxBeforePrAck_.load(std::memory_order_relaxed); }
    void setSend2xxBeforePrAck(bool on) noexcept { send2xxBeforePrAck_.store(on, std::memory_order_relaxed); }
    bool getStopNoAnswerOn183Sdp() const noexcept { return stopNoAnswerOn183Sdp_.load(std::memory_order_relaxed); }
    void setStopNoAnswerOn183Sdp(bool on) noexcept { stopNoAnswerOn183Sdp_.store(on, std::memory_order_relaxed); }
    // The Allow header of INVITE, UPDATE and their 1xx/2xx (SetAllow: built from the methods,
    // with UPDATE and INFO by option; otherwise the call's Allow text). Off at construction.
    bool getSetAllow() const noexcept { return setAllow_.load(std::memory_order_relaxed); }
    void setSetAllow(bool on) noexcept { setAllow_.store(on, std::memory_order_relaxed); }
    bool getAllowUpdate() const noexcept { return allowUpdate_.load(std::memory_order_relaxed); }
    void setAllowUpdate(bool on) noexcept { allowUpdate_.store(on, std::memory_order_relaxed); }
    bool getAllowInfo() const noexcept { return allowInfo_.load(std::memory_order_relaxed); }
    void setAllowInfo(bool on) noexcept { allowInfo_.store(on, std::memory_order_relaxed); }
    // A 500 to an INVITE carries Retry-After (1 to 10 seconds) when on; off at construction.
    bool getRetryAfterOn500() const noexcept { return retryAfterOn500_.load(std::memory_order_relaxed); }
    void setRetryAfterOn500(bool on) noexcept { retryAfterOn500_.store(on, std::memory_order_relaxed); }
    // Takes a re-INVITE whose CSeq is not above the peer's last one instead of answering it 500
    // (RFC 3261 section 12.2.2), and a reliable provisional response whose RSeq is not the
    // next one (RFC 3262 section 4); off at construction.
    bool getSkipSeqNoChecks() const noexcept { return skipSeqNoChecks_.load(std::memory_order_relaxed); }
    void setSkipSeqNoChecks(bool on) noexcept { skipSeqNoChecks_.store(on, std::memory_order_relaxed); }
    // How long a CANCEL waits for the INVITE's final response, in milliseconds (setting
    // TimerTCancelTimeout; 32000 at construction).
    int getCancelTimeout() const noexcept { return cancelTimeout_.load(std::memory_order_relaxed); }
    void setCancelTimeout(int milliseconds) noexcept { cancelTimeout_.store(milliseconds, std::memory_order_relaxed); }

    // The first INVITE of a new call (start: an empty Call-ID gets a new one, an empty local
    // tag the LocalTag setting or a new tag). The dialog's ID number, -1 when the INVITE could
    // not be sent (the dialog is then gone). state, when given, receives the session's state.
    int invite(const SipDialogStart& start, const InviteOrder& order, int* state = nullptr);
    // A re-INVITE in the call (held, and sent later, while another INVITE transaction runs).
    bool reInvite(int id, const InviteOrder& order, int* state = nullptr);
    // The ACK of the 2xx the call received.
    bool acknowledge(int id, const SessionRequestContent& content, int* state = nullptr);
    // Answers the INVITE or re-INVITE the call received.
    bool respondSession(int id, const SessionResponse& response, int* state = nullptr);
    // Hangs the call up: CANCEL before the answer, BYE once there is a call; an INVITE not yet
    // answered is refused with rejectStatusCode.
    bool endSession(int id, const HeaderList* headers, int* state = nullptr, int rejectStatusCode = 603);
    // PRACK of a reliable provisional response the call received (RFC 3262), and the answer
    // to a PRACK it received; with Process100rel on the session does both itself.
    bool prAcknowledge(int id, const PrAckOrder& order, int* state = nullptr);
    bool respondPrAck(int id, const SessionResponse& response, int* state = nullptr);
    // UPDATE in the call (RFC 3311), early or confirmed, and the answer to one it received.
    bool update(int id, const UpdateOrder& order, int* state = nullptr);
    bool respondUpdate(int id, const SessionResponse& response, int* state = nullptr);
    // Answers the INFO the call received (event Infoed).
    bool sendInfoResponse(int id, const SessionResponse& response, int* state = nullptr);
    // A request of any method in the call's dialog (SipDialog::sendDialogRequest).
    bool sendDialogRequest(int id, std::string_view method, std::string_view body, std::string_view contentType,
                           const HeaderList* headers);
    // Replaces the body and type that a negative-length INVITE reuses.
    bool setLocalContent(int id, std::string_view body, std::string_view contentType);
    // REFER in the call's dialog (a transfer); its subscription reports through
    // onSipSubscriberEvent.
    bool refer(int id, const SipReferTo& referTo, const SipReferredBy* referredBy, const SubscriptionOrder& order);

    // Runs work on the call dialog with this ID number under its entry lock, then ends the
    // dialog when its parts have ended; false when there is none or work fails.
    bool withDialog(int id, const std::function<bool(SipSessionDialog&)>& work);

    // The hooks the user agent overrides. The defaults log; onSipSessionEvent answers true,
    // the other two false (the request is then answered 405 or 500).
    virtual bool onSipSessionControllerEvent(int event, const SipMessageExt& message, int serverTransactionId);
    virtual bool onSipSessionDialogEvent(int event, SipSessionDialog& dialog, const SipMessageExt& message);
    virtual bool onSipSessionEvent(int event, SipSession& session, const SipMessageExt* message, int parameter);
    // The SipSubscriberEvents and SipNotifierEvents of a call's REFER parts; the defaults log.
    virtual void onSipSessionSubscriberEvent(int event, SipSessionDialog& dialog, const SipMessageExt* message);
    virtual void onSipSessionNotifierEvent(int event, SipSessionDialog& dialog, const SipMessageExt* message);

    // Every subscriber and notifier part here lives in a SipSessionDialog: their events go to
    // the two hooks above.
    void onSipSubscriberEvent(int event, SipSubscriberDialogBase& dialog, const SipMessageExt* message) final;
    void onSipNotifierEvent(int event, SipNotifierDialogBase& dialog, const SipMessageExt* message) final;

protected:
    bool withNotifierDialog(int id, const std::function<bool(SipNotifierDialogBase&)>& work) override;

    bool onTimeout(int id, int timerName, EventLockGuard& eventLock) override;
    int procReceiveRequest(SipMessageSlot& request, int serverTransactionId, EventLockGuard& eventLock) override;
    bool procReceiveResponse(SipMessageSlot& response, int userId, EventLockGuard& eventLock) override;
    bool procClientTransactionTimeout(SipMessageSlot& request, int userId, EventLockGuard& eventLock) override;
    bool procRequestTransportError(SipMessageSlot& request, int userId, EventLockGuard& eventLock) override;
    bool procResponseTransportError(SipMessageSlot& response, int parameter, EventLockGuard& eventLock) override;

private:
    using Work = std::function<bool(SipSessionDialog&)>;
    // Runs work on the dialog with this ID number under its entry lock (releasing eventLock,
    // when given, once the list is held), then ends what has ended; false when there is none
    // (logged for operation) or work fails. state, when given, receives the session's state.
    bool callDialog(const char* operation, int id, EventLockGuard* eventLock, int* state, const Work& work);
    // With the list locked: runs work on entry's dialog and ends it when its parts have ended;
    // the list is unlocked on return.
    bool runOn(SipDialogListData* entry, int* state, const Work& work);
    // Removes the dialog of entry when it has ended, and gives the entry up.
    void funcPostProc(SipDialogListData* entry);
    // Answers a request that cannot create its dialog 400 with a Reason-Phrase naming fault;
    // 0 (answered).
    int rejectBadRequest(const SipMessageExt& request, int serverTransactionId, const char* fault);
    // With the list locked: the dialog of the INVITE server transaction cancelled, or null.
    SipDialogListData* findCanceled(const SipMessageExt& cancel, int canceledTransactionId);
    // With the list locked, the eventLock released: a request that no dialog takes.
    int onRequestWithoutDialog(SipMessageSlot& request, int serverTransactionId);
    // With the list locked: a new dialog for an INVITE or REFER, or the status that refuses it.
    int createForRequest(SipMessageSlot& request, int serverTransactionId);
    // With the list locked, the eventLock released: a 2xx to INVITE that names no dialog.
    bool onStraySuccess(const SipMessageExt& response);

    SipDialogList dialogs_;
    std::atomic<int> maxDialogs_{0};
    std::atomic<int> timerT1_{500};
    std::atomic<int> timerT2_{4000};
    std::atomic<bool> process100rel_{true};
    std::atomic<int> term100relProcessType_{0};
    std::atomic<bool> retryAfterOn500_{false};
    std::atomic<bool> alwaysRSeq_{false};
    std::atomic<bool> send2xxBeforePrAck_{false};
    std::atomic<bool> stopNoAnswerOn183Sdp_{false};
    std::atomic<bool> setAllow_{false};
    std::atomic<bool> allowUpdate_{false};
    std::atomic<bool> allowInfo_{false};
    std::atomic<bool> skipSeqNoChecks_{false};
    std::atomic<int> cancelTimeout_{32000};
    std::atomic<bool> processSessionTimer_{true};
    std::atomic<int> termSessionTimerProcessType_{0};
    std::atomic<int> minSE_{0};
    std::atomic<int> sessionTimerStartType_{0};
    std::atomic<bool> useUpdateRefresh_{false};
    std::atomic<bool> forceRequireTimer_{false};
};

}  // namespace kel_sip
