// The value of one Route, Record-Route or Path element (RFC 3261 sections 20.30, 20.34;
// RFC 3327): an address and generic parameters.
#pragma once

#include "kel_sip/syntax/SipAddressField.h"

namespace kel_sip {

class SipRoute : public SipAddressField {};

}  // namespace kel_sip
