// Process-wide hooks and switches of every transport, set by the phone: the message filters
// (which may swallow a message on its way out or in) and whether a transport answers an
// OPTIONS addressed to the host itself. Until a hook is set it does nothing.
//
// Threads: any thread may set or clear a hook while transports call it; a transport calls
// the hook it read at the start of one message, so a hook being replaced may still be called
// once more by a message already in work.
#pragma once

#include <functional>

namespace kel_sip {

class SipMessageExt;
class SipTransportBase;

// True: the message counts as sent and is not written to the network.
using SipSendFilterHook = std::function<bool(SipMessageExt& message, SipTransportBase& transport)>;
// True: the received message is dropped.
using SipReceiveFilterHook = std::function<bool(SipMessageExt& message)>;

// An empty function clears the hook.
void setSendFilterHook(SipSendFilterHook hook);
void setReceiveFilterHook(SipReceiveFilterHook hook);
// Runs the hook; false when none is set.
bool runSendFilterHook(SipMessageExt& message, SipTransportBase& transport);
bool runReceiveFilterHook(SipMessageExt& message);

// Off until the user agent switches it on: an OPTIONS whose Request-URI is a SIP URI without
// a user part is then answered 200 by the transport itself (SipTransportBase).
void setAnswerOwnOptions(bool on) noexcept;
bool answerOwnOptions() noexcept;

}  // namespace kel_sip
