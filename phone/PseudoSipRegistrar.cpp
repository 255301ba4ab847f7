#include "phone/PseudoSipRegistrar.h"

#include "kel_sip/syntax/SipMethod.h"
#include "kel_util/Log.h"
#include "phone/PseudoRegisterAnswer.h"

#include <ctime>

PseudoSipRegistrar::PseudoSipRegistrar(kel_sip::SipTransactionController& controller)
    : PseudoSipServer(controller, "PseudoSipRegistrar", kel_sip::SipMethod::Register) {}

PseudoSipRegistrar::~PseudoSipRegistrar() { clean(); }

bool PseudoSipRegistrar::startProc(int workerId) {
    kel_util::logPrint(kel_util::DBG, "PseudoSipRegistrar::startProc. Starting PseudoSipRegistrar, WorkerID=%d.\n",
                       workerId);
    return PseudoSipServer::startProc(workerId);
}

void PseudoSipRegistrar::endProc(int workerId) {
    kel_util::logPrint(kel_util::DBG, "PseudoSipRegistrar::endProc. Stopping PseudoSipRegistrar, WorkerID=%d.\n",
                       workerId);
    PseudoSipServer::endProc(workerId);
}

std::unique_ptr<kel_sip::SipMessageExt> PseudoSipRegistrar::answer(const kel_sip::SipMessageExt& request,
                                                                   int serverTransactionId) {
    return PseudoRegisterAnswer::build(request, serverTransactionId, static_cast<std::int64_t>(std::time(nullptr)));
}
