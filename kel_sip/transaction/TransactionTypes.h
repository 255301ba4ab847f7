// Numbers shared by the transaction machines, the transaction controller and the transaction
// users: machine states, timer numbers and the event types reported to a transaction user.
#pragma once

#include <string_view>

namespace kel_sip {

// The branch prefix of RFC 3261 section 8.1.1.7: a branch that begins with it is unique in
// space and time, so it alone (with the sent-by) identifies a transaction.
inline constexpr std::string_view kBranchMagicCookie = "z9hG4bK";

// The state of a transaction (RFC 3261 sections 17.1 and 17.2). One numbering serves all
// four machines; a new transaction is Terminated until its first input.
enum TransactionState : int {
    kStateTerminated = 0,
    kStateCalling = 1,
    kStateTrying = 2,
    kStateProceeding = 3,
    kStateCompleted = 4,
    kStateConfirmed = 5,
};

// The timers of RFC 3261 section 17 by number. A timer is named by the transaction ID and
// this number; 5 to 8 belong to server transactions, the others to client transactions.
enum TransactionTimer : int {
    kTimerA = 0,  // INVITE client: request retransmission, T1 doubled at each firing (UDP only)
    kTimerB = 1,  // INVITE client: transaction timeout, 64*T1
    kTimerD = 2,  // INVITE client: wait for response retransmissions, TD (0 on reliable transports)
    kTimerE = 3,  // non-INVITE client: request retransmission, T1 doubled up to T2 (UDP only)
    kTimerF = 4,  // non-INVITE client: transaction timeout, 64*T1
    kTimerG = 5,  // INVITE server: response retransmission, T1 doubled up to T2 (UDP only)
    kTimerH = 6,  // INVITE server: wait for ACK, 64*T1
    kTimerI = 7,  // INVITE server: wait for ACK retransmissions, T4 (0 on reliable transports)
    kTimerJ = 8,  // non-INVITE server: wait for request retransmissions, 64*T1 (0 on reliable)
    kTimerK = 9,  // non-INVITE client: wait for response retransmissions, T4 (0 on reliable)
    kTimerCount = 10,
};

// True for the timers of server transactions.
constexpr bool isServerTimer(int timer) {
    return timer >= kTimerG && timer <= kTimerJ;
}

// Event types posted to a transaction user; the event owns the message it carries.
inline constexpr int SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST = 10;
inline constexpr int SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE = 11;
inline constexpr int SIPTRANSACTION_EVMSGTYPE_CLIENTTRANSACTIONTIMEOUT = 30;
inline constexpr int SIPTRANSACTION_EVMSGTYPE_SERVERTRANSACTIONTIMEOUT = 31;
inline constexpr int SIPTRANSACTION_EVMSGTYPE_REQUESTTRANSPORTERROR = 32;
inline constexpr int SIPTRANSACTION_EVMSGTYPE_RESPONSETRANSPORTERROR = 33;

// The timer values in milliseconds (RFC 3261 appendix A); TD is Timer D's duration.
struct TransactionTimerValues {
    int t1 = 500;
    int t2 = 4000;
    int t4 = 5000;
    int td = 32000;
};

}  // namespace kel_sip
