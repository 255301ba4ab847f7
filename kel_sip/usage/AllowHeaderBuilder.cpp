#include "kel_sip/usage/AllowHeaderBuilder.h"

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMethod.h"

namespace kel_sip {

void AllowHeaderBuilder::add(bool prackInUse, HeaderListBase& message) const {
    if (!settings_.setAllow) {
        if (!settings_.explicitText.empty()) message.addHeader(SipHeader::Allow, settings_.explicitText);
        return;
    }
    SipStrList methods;
    for (const int kind : {SipMethod::Invite, SipMethod::Ack, SipMethod::Bye, SipMethod::Cancel}) {
        methods.add(SipMethod::nameOf(kind));
    }
    if (prackInUse) methods.add(SipMethod::nameOf(SipMethod::Prack));
    if (settings_.allowUpdate) methods.add(SipMethod::nameOf(SipMethod::Update));
    if (settings_.allowInfo) methods.add(SipMethod::nameOf(SipMethod::Info));
    message.mergeStrList(SipHeader::Allow, methods);
}

}  // namespace kel_sip
