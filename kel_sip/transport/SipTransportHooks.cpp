#include "kel_sip/transport/SipTransportHooks.h"

#include <atomic>
#include <memory>

namespace kel_sip {
namespace {

// Each hook is swapped whole, so a transport calls either the old or the new one, never a
// half-replaced function.
template <class Hook>
class HookSlot {
public:
    void set(Hook hook) {
        slot_.store(hook ? std::make_shared<const Hook>(std::move(hook)) : nullptr, std::memory_order_release);
    }
    std::shared_ptr<const Hook> get() const { return slot_.load(std::memory_order_acquire); }

private:
    std::atomic<std::shared_ptr<const Hook>> slot_;
};

HookSlot<SipSendFilterHook>& sendSlot() {
    static HookSlot<SipSendFilterHook> slot;
    return slot;
}

HookSlot<SipReceiveFilterHook>& receiveSlot() {
    static HookSlot<SipReceiveFilterHook> slot;
    return slot;
}

std::atomic<bool> answerOwnOptionsFlag{false};

}  // namespace

void setSendFilterHook(SipSendFilterHook hook) { sendSlot().set(std::move(hook)); }

void setReceiveFilterHook(SipReceiveFilterHook hook) { receiveSlot().set(std::move(hook)); }

bool runSendFilterHook(SipMessageExt& message, SipTransportBase& transport) {
    const auto hook = sendSlot().get();
    return hook && (*hook)(message, transport);
}

bool runReceiveFilterHook(SipMessageExt& message) {
    const auto hook = receiveSlot().get();
    return hook && (*hook)(message);
}

void setAnswerOwnOptions(bool on) noexcept { answerOwnOptionsFlag.store(on, std::memory_order_relaxed); }

bool answerOwnOptions() noexcept { return answerOwnOptionsFlag.load(std::memory_order_relaxed); }

}  // namespace kel_sip
