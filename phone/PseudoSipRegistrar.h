// A registrar that accepts every REGISTER and keeps no bindings (PseudoRegisterAnswer).
#pragma once

#include "phone/PseudoSipServer.h"

class PseudoSipRegistrar : public PseudoSipServer {
public:
    explicit PseudoSipRegistrar(kel_sip::SipTransactionController& controller);
    ~PseudoSipRegistrar() override;

    bool startProc(int workerId) override;
    void endProc(int workerId) override;

protected:
    std::unique_ptr<kel_sip::SipMessageExt> answer(const kel_sip::SipMessageExt& request,
                                                   int serverTransactionId) override;
};
