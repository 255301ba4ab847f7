#include "kel_sip/transaction/SipTransactionControllerImpl.h"

#include <algorithm>
#include <chrono>

#include "kel_sip/syntax/SipIdentifier.h"
#include "kel_sip/transport/SipTransportEvent.h"
#include "kel_util/Log.h"

namespace kel_sip {
namespace {

using kel_util::DBG;
using kel_util::DET;
using kel_util::logPrint;
using kel_util::MAJ;
using kel_util::MIN;

// The names of the transport events in log lines; null for other types.
const char* transportEventName(int type) {
    switch (type) {
        case SIPTRANSPORT_EVMSGTYPE_RECVSIPREQUEST:
            return "SIPTRANSPORT_EVMSGTYPE_RECVSIPREQUEST";
        case SIPTRANSPORT_EVMSGTYPE_RECVSIPRESPONSE:
            return "SIPTRANSPORT_EVMSGTYPE_RECVSIPRESPONSE";
        case SIPTRANSPORT_EVMSGTYPE_TRANSPORTERROR:
            return "SIPTRANSPORT_EVMSGTYPE_TRANSPORTERROR";
        case SIPTRANSPORT_EVMSGTYPE_HEADERLENGTHERROR:
            return "SIPTRANSPORT_EVMSGTYPE_HEADERLENGTHERROR";
        default:
            return nullptr;
    }
}

const char* kindName(const SipTransactionList& list, const SipTransactionList& clients) {
    return &list == &clients ? "ClientTransaction" : "ServerTransaction";
}

}  // namespace

SipTransactionControllerImpl::SipTransactionControllerImpl(kel_util::EventHandler2* defaultUser,
                                                           kel_util::ClockSource& clock)
    : EventHandlerExt(clock), clock_(clock), users_(defaultUser) {
    setName("SipTransactionController");
}

SipTransactionControllerImpl::~SipTransactionControllerImpl() { clean(); }

bool SipTransactionControllerImpl::init(int workerCount) {
    logPrint(DBG, "SipTransactionControllerImpl::init. Initializing SipTransactionController, WorkerNum=%d.\n",
             workerCount);
    if (!EventHandlerExt::init(workerCount)) {
        logPrint(MAJ, "SipTransactionControllerImpl::init. Failed to init SipTransactionController.\n");
        return false;
    }
    logPrint(DBG, "SipTransactionControllerImpl::init. Initialized SipTransactionController.\n");
    return true;
}

void SipTransactionControllerImpl::clean() {
    logPrint(DBG, "SipTransactionControllerImpl::clean. Cleaning SipTransactionController.\n");
    // Users' threads and transports may still be calling: once the gate is closed and drained,
    // nothing but the workers touches a transaction, and they stop next.
    gate_.close();
    EventHandlerExt::clean();
    for (SipTransactionList* list : {&clients_, &servers_}) {
        list->lock();
        const int count = static_cast<int>(list->size());
        if (count > 0) {
            logPrint(MIN, "SipTransactionControllerImpl::clean. Deleting %d %s(s).\n", count, kindName(*list, clients_));
        }
        list->clear();
        list->unlock();
    }
    users_.clear();
    clearTransports();
    // Without transports and a running pool later operations fail on their own; users may
    // register again for the next init.
    gate_.open();
    logPrint(DBG, "SipTransactionControllerImpl::clean. Cleaned SipTransactionController.\n");
}

void SipTransactionControllerImpl::setTimers(int t1, int t2, int t4, int td) {
    // 64*T1 (Timers B, F, H, J) must stay an int number of milliseconds.
    if (t1 > kMaxTimerValue || t2 > kMaxTimerValue || t4 > kMaxTimerValue || td > kMaxTimerValue) {
        logPrint(MIN, "SipTransactionControllerImpl::setTimers. Timer value too large, T1=%d, T2=%d, T4=%d, TD=%d.\n", t1,
                 t2, t4, td);
    }
    const auto replace = [](std::atomic<int>& value, int milliseconds) {
        if (milliseconds > 0 && milliseconds <= kMaxTimerValue) value = milliseconds;
    };
    replace(t1_, t1);
    replace(t2_, t2);
    replace(t4_, t4);
    replace(td_, td);
}

int SipTransactionControllerImpl::terminalTimerDelay(int milliseconds) const {
    if (milliseconds <= 0) return milliseconds;  // reliable transports end at once
    const auto now =
        std::chrono::duration_cast<std::chrono::milliseconds>(clock_.now().time_since_epoch()).count();
    const long long due = now + milliseconds;
    const long long aligned = (due + kTerminalTimerGrid - 1) / kTerminalTimerGrid * kTerminalTimerGrid;
    return static_cast<int>(std::min<long long>(aligned - now, kMaxTimerValue * 64LL));
}

TransactionTimerValues SipTransactionControllerImpl::timerValues() const {
    return {t1_.load(), t2_.load(), t4_.load(), td_.load()};
}

bool SipTransactionControllerImpl::takeReceivedMessage(int eventType, std::unique_ptr<SipMessageExt>& message,
                                                       intptr_t param2, SipTransportBase& transport) {
    if (eventType == SIPTRANSPORT_EVMSGTYPE_TRANSPORTERROR) {
        // Reported from inside a send, where the transaction may be held: handled on a worker.
        if (!postEvent(eventType, reinterpret_cast<intptr_t>(message.get()), param2, &transport)) return false;
        message.release();  // the event owns it now
        return true;
    }
    const kel_util::OperationGate::Pass pass(gate_);
    if (!pass || !isRunning()) return false;
    logPrint(DBG, "SipTransactionControllerImpl::takeReceivedMessage. Message %s, type=%d.\n",
             transportEventName(eventType), eventType);
    SipMessageSlot slot(std::move(message));
    receive(eventType, slot);
    return true;
}

bool SipTransactionControllerImpl::addTransactionUser(const std::vector<int>& methodKinds,
                                                      kel_util::EventHandler2* user) {
    const kel_util::OperationGate::Pass pass(gate_);
    return pass && users_.add(methodKinds, user);
}

void SipTransactionControllerImpl::createBranch(std::string& branch) {
    const kel_util::OperationGate::Pass pass(gate_);
    if (!pass) {
        branch.clear();
        return;
    }
    logPrint(DBG, "SipTransactionControllerImpl::createBranch. Creating branch.\n");
    clients_.lock();
    do {
        branch = makeBranch();
    } while (clients_.hasKey(branch.substr(kBranchMagicCookie.size())));
    clients_.unlock();
    logPrint(DBG, "SipTransactionControllerImpl::createBranch. Created branch=[%s].\n", branch.c_str());
}

bool SipTransactionControllerImpl::deleteClientTransaction(int id) {
    if (id <= 0) {
        logPrint(MIN, "SipTransactionControllerImpl::deleteClientTransaction. invalid ClientTransactionID=%d.\n", id);
        return false;
    }
    return deleteTransaction(
        clients_, id, "SipTransactionControllerImpl::deleteClientTransaction. ClientTransaction not found, ClientTracsactionID=%d.\n");
}

bool SipTransactionControllerImpl::deleteServerTransaction(int id) {
    if (id <= 0) {
        logPrint(MIN, "SipTransactionControllerImpl::deleteServerTransaction. invalid ServerTracsactionID=%d.\n", id);
        return false;
    }
    return deleteTransaction(
        servers_, id, "SipTransactionControllerImpl::deleteServerTransaction. ServerTracsaction not found, ServerTracsactionID=%d.\n");
}

bool SipTransactionControllerImpl::deleteTransaction(SipTransactionList& list, int id, const char* notFound) {
    const kel_util::OperationGate::Pass pass(gate_);
    if (!pass) return false;
    list.lock();
    SipTransactionListData* record = list.getAndLockById(id);
    if (record == nullptr) {
        list.unlock();
        logPrint(MIN, notFound, id);
        return false;
    }
    // Through the entry lock, so that no step is running on it; the release erases it.
    list.release(record, true);
    list.unlock();
    return true;
}

bool SipTransactionControllerImpl::notifyTU(kel_util::EventHandler2* user, int type, SipMessageSlot& message,
                                            int transactionId, int userId) {
    const void* self = static_cast<const SipTransactionController*>(this);
    const void* userPointer = user;
    logPrint(DBG,
             "SipTransactionControllerImpl::notifyTU. Notifing TransactionUser=%p, MessageType=%d, param1=%p, "
             "param2=%d, param3=%d.\n",
             userPointer, type, static_cast<const void*>(message.get()), transactionId, userId);
    const bool posted =
        user != nullptr && user->postEvent(type, reinterpret_cast<intptr_t>(message.get()), transactionId, userId, self);
    logPrint(posted ? DBG : MIN,
             "SipTransactionControllerImpl::notifyTU. %s setEvent, TransactionUser=%p, MessageType=%d, param1=%p, "
             "param2=%d, param3=%d, FromInstance=%p.\n",
             posted ? "Succeeded" : "Failed", userPointer, type, static_cast<const void*>(message.get()),
             transactionId, userId, self);
    if (posted) message.release();  // the event owns it now
    return posted;
}

bool SipTransactionControllerImpl::startProc(int workerId) {
    logPrint(DBG, "SipTransactionControllerImpl::startProc. Starting SipTransactionController, WorkerID=%d.\n",
             workerId);
    return true;
}

void SipTransactionControllerImpl::endProc(int workerId) {
    logPrint(DBG, "SipTransactionControllerImpl::endProc. Stopping SipTransactionController, WorkerID=%d.\n",
             workerId);
}

void SipTransactionControllerImpl::onEvent(int workerId, int type, intptr_t param1, intptr_t param2,
                                           const void* from) {
    const char* name = transportEventName(type);
    if (name == nullptr) {
        EventHandlerExt::onEvent(workerId, type, param1, param2, from);
        return;
    }
    logPrint(DBG, "SipTransactionControllerImpl::onEvent. Event %s, WorkerID=%d, type=%d, param1=%p, param2=%d, from=%p.\n",
             name, workerId, type, reinterpret_cast<const void*>(param1), static_cast<int>(param2), from);
    // The event owns the message; whatever a step does not take is freed on return.
    SipMessageSlot message(reinterpret_cast<SipMessageExt*>(param1));
    if (!message || type != SIPTRANSPORT_EVMSGTYPE_TRANSPORTERROR) {
        // Received messages are worked on where they arrive (takeReceivedMessage), never queued.
        releaseEventLock();
        if (message) logPrint(MIN, "SipTransactionControllerImpl::onEvent. Unexpected %s, dropped.\n", name);
        return;
    }
    if (!onTransportError(message, static_cast<int>(param2))) {
        logPrint(MIN, "SipTransactionControllerImpl::onEvent. Failed  %s.\n", "onTransportError");
    }
}

void SipTransactionControllerImpl::onEventClean(int workerId, int type, intptr_t param1, intptr_t param2,
                                                const void* from) {
    const char* name = transportEventName(type);
    if (name == nullptr) {
        EventHandlerExt::onEventClean(workerId, type, param1, param2, from);
        return;
    }
    logPrint(DBG,
             "SipTransactionControllerImpl::onEventClean. Event %s, WorkerID=%d, type=%d, param1=%p, param2=%d, "
             "from=%p.\n",
             name, workerId, type, reinterpret_cast<const void*>(param1), static_cast<int>(param2), from);
    releaseEventLock();
    delete reinterpret_cast<SipMessageExt*>(param1);
}

bool SipTransactionControllerImpl::onTimeout(int id, int timer) {
    if (timer < 0 || timer >= kTimerCount) {
        releaseEventLock();
        logPrint(MIN, "SipTransactionControllerImpl::onTimeout. Invalid Timer=%d, TransactionID=%d.\n", timer, id);
        return false;
    }
    SipTransactionList& list = isServerTimer(timer) ? servers_ : clients_;
    const char* kind = kindName(list, clients_);
    list.lock();
    releaseEventLock();
    logPrint(DBG, "SipTransactionControllerImpl::onTimeout. Searching %s, %sID=%d, Timer=%d.\n", kind, kind, id, timer);
    SipTransactionListData* record = list.getAndLockById(id);
    if (record == nullptr) {
        // Its timers were cancelled when it was deleted; this expiry was already on its way.
        list.unlock();
        logPrint(MIN, "SipTransactionControllerImpl::onTimeout. %s not found, %sID=%d, Timer=%d.\n", kind, kind, id,
                 timer);
        return false;
    }
    logPrint(DBG, "SipTransactionControllerImpl::onTimeout. %s found, %sID=%d, Timer=%d.\n", kind, kind, id, timer);
    logPrint(DET, "SipTransactionControllerImpl::onTimeout. Processing Timeout, %sID=%d.\n", kind, id);
    const bool ok = record->payload().onTimeout(timer);
    return finishStep(list, record, ok, "onTimeout", "onTimeout", ", Timer=" + std::to_string(timer));
}

bool SipTransactionControllerImpl::finishStep(SipTransactionList& list, SipTransactionListData* record, bool ok,
                                              const char* operation, const char* step,
                                              const std::string& failureDetail) {
    const SipTransaction& transaction = record->payload();
    const char* kind = kindName(list, clients_);
    const int id = transaction.getId();
    const int state = transaction.getState();
    if (ok) {
        logPrint(DBG, "SipTransactionControllerImpl::%s. Succeeded %s, state=%d, %sID=%d.\n", operation, step, state,
                 kind, id);
    } else {
        logPrint(MIN, "SipTransactionControllerImpl::%s. Failed %s, state=%d%s, %sID=%d.\n", operation, step, state,
                 failureDetail.c_str(), kind, id);
    }
    const bool terminated = state == kStateTerminated;
    if (terminated) {
        logPrint(DET, "SipTransactionControllerImpl::%s. Transaction terminated, %sID=%d.\n", operation, kind, id);
    }
    list.release(record, !ok || terminated);
    list.unlock();
    return ok;
}

}  // namespace kel_sip
