// The MESSAGE and INFO responders: every request of their method is answered 200, with a To
// tag when it had none (RFC 3428 section 7; RFC 6086 section 4.2.2).
#pragma once

#include "phone/PseudoSipServer.h"

class PseudoSipResponder : public PseudoSipServer {
public:
    using PseudoSipServer::PseudoSipServer;

protected:
    std::unique_ptr<kel_sip::SipMessageExt> answer(const kel_sip::SipMessageExt& request,
                                                   int serverTransactionId) override;
};

// Accepts every MESSAGE.
class PseudoSipMessengerar : public PseudoSipResponder {
public:
    explicit PseudoSipMessengerar(kel_sip::SipTransactionController& controller);
    ~PseudoSipMessengerar() override;
};

// Accepts every INFO; its clean logs nothing.
class PseudoSipInfoerar : public PseudoSipResponder {
public:
    explicit PseudoSipInfoerar(kel_sip::SipTransactionController& controller);
    ~PseudoSipInfoerar() override;

protected:
    bool logsClean() const override { return false; }
};
