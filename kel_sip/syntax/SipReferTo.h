// The value of a Refer-To header (RFC 3515 section 2.1): an address and generic parameters.
#pragma once

#include "kel_sip/syntax/SipAddressField.h"

namespace kel_sip {

class SipReferTo : public SipAddressField {};

}  // namespace kel_sip
