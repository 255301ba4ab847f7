// The pseudo registrar's answer to a REGISTER. It keeps no bindings: every REGISTER is
// accepted and the answer depends on the request alone (RFC 3261 section 10.3 describes the
// registrar this imitates).
//
// Threads: any; nothing is shared.
#pragma once

#include <cstdint>
#include <memory>

#include "kel_sip/syntax/SipMessageExt.h"

class PseudoRegisterAnswer {
public:
    // The Expires value given to a REGISTER that names none at all (RFC 3261 section 10.2.1.1
    // leaves the choice to the registrar).
    static constexpr std::int64_t kDefaultExpires = 3600;

    // The 200 for request, logged under serverTransactionId:
    // - a wildcard Contact makes a remove-all: "Expires: 0" and no Contact;
    // - otherwise every Contact is returned, and when none of them carries an expires
    //   parameter the request's Expires is echoed when positive, or 3600 when it has none;
    // - the To gets a tag when it has none, and a Date header carries now (seconds since 1970).
    // A Contact value that does not parse is answered 400 with a Reason-Phrase instead, since
    // its bindings cannot be echoed.
    static std::unique_ptr<kel_sip::SipMessageExt> build(const kel_sip::SipMessageExt& request,
                                                         int serverTransactionId, std::int64_t now);

private:
    // The Expires to add when no Contact has an expires parameter: the request's positive
    // value, kDefaultExpires when it has none, -1 for none to add.
    static std::int64_t expiresToEcho(const kel_sip::SipMessageExt& request, int serverTransactionId);
};
