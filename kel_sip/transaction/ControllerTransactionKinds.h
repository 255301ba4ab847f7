// How the transaction controller tells its machines apart: the client list holds only client
// transactions and the server list only server transactions, so the downcasts are safe; and
// a method gets the INVITE machine for INVITE and the non-INVITE one for every other method
// (RFC 3261 section 17).
#pragma once

#include <memory>
#include <string>

#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/transaction/ClientTransaction.h"
#include "kel_sip/transaction/ServerTransaction.h"
#include "kel_util/Log.h"

namespace kel_sip {

inline ServerTransaction& asServer(SipTransaction& transaction) { return static_cast<ServerTransaction&>(transaction); }
inline ClientTransaction& asClient(SipTransaction& transaction) { return static_cast<ClientTransaction&>(transaction); }

// The machine for methodKind over context, logged as created by operation.
template <class Base, class InviteMachine, class OtherMachine>
std::unique_ptr<Base> makeMachine(int methodKind, std::unique_ptr<TransactionContext> context, const char* operation,
                                  const char* inviteName, const char* otherName, const std::string& method) {
    const bool invite = methodKind == SipMethod::Invite;
    kel_util::logPrint(kel_util::DBG, "SipTransactionControllerImpl::%s. Creating %s, Method=[%s].\n", operation,
                       invite ? inviteName : otherName, method.c_str());
    if (invite) return std::make_unique<InviteMachine>(std::move(context));
    return std::make_unique<OtherMachine>(std::move(context));
}

}  // namespace kel_sip
