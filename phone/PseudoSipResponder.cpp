#include "phone/PseudoSipResponder.h"

#include "kel_sip/syntax/SipIdentifier.h"
#include "kel_sip/syntax/SipMethod.h"

std::unique_ptr<kel_sip::SipMessageExt> PseudoSipResponder::answer(const kel_sip::SipMessageExt& request, int) {
    auto response = request.createResponse(200, nullptr, false);
    if (response->to.tag.empty()) response->to.tag = kel_sip::makeTag();
    return response;
}

PseudoSipMessengerar::PseudoSipMessengerar(kel_sip::SipTransactionController& controller)
    : PseudoSipResponder(controller, "PseudoSipMessengerar", kel_sip::SipMethod::Message) {}

PseudoSipMessengerar::~PseudoSipMessengerar() { clean(); }

PseudoSipInfoerar::PseudoSipInfoerar(kel_sip::SipTransactionController& controller)
    : PseudoSipResponder(controller, "PseudoSipInfoerar", kel_sip::SipMethod::Info) {}

PseudoSipInfoerar::~PseudoSipInfoerar() { clean(); }
