#include "kel_sip/syntax/SipSubscriptionState.h"

#include <array>
#include <cstdint>

#include "kel_sip/syntax/SipFieldParse.h"
#include "kel_sip/syntax/SipNumber.h"

namespace kel_sip {
namespace {

constexpr std::array<std::string_view, 3> stateNames = {"terminated", "pending", "active"};

int parseState(std::string_view text) {
    for (size_t state = 0; state < stateNames.size(); ++state) {
        if (kel_util::equalsIgnoreCase(text, stateNames[state])) return static_cast<int>(state);
    }
    throw SipParseException("invalid state value");
}

// A delta-seconds parameter: unchanged when the value is empty.
void takeSeconds(std::string_view value, std::int64_t& field, const char* invalid) {
    if (!value.empty()) field = parseNumber(value, 0, UINT32_MAX, invalid);
}

}  // namespace

std::string_view SipSubscriptionState::stateName(int state) noexcept {
    if (state == StateNone) return {};
    return state >= 0 && state < static_cast<int>(stateNames.size()) ? stateNames[static_cast<size_t>(state)] : "unkown";
}

bool SipSubscriptionState::empty() const {
    return state_ == StateNone && reason_.empty() && expires_ < 0 && retryAfter_ < 0 && SipGenericField::empty();
}

void SipSubscriptionState::clear() {
    state_ = StateNone;
    reason_.clear();
    expires_ = -1;
    retryAfter_ = -1;
    SipGenericField::clear();
}

void SipSubscriptionState::parse(const char* data, int length, bool clearFirst) {
    parseWrapped(*this, clearFirst, "invalid subscription state", [&] {
        SipTokenizer tokenizer(data, length);
        state_ = parseState(nextLeadingToken(tokenizer, "no state value"));
        parseParameters(tokenizer);
    });
}

void SipSubscriptionState::print(std::string& out) const {
    if (state_ == StateNone) return;
    out += stateName(state_);
    if (!reason_.empty()) {
        out += ";reason=";
        out += reason_;
    }
    if (expires_ >= 0) {
        out += ";expires=";
        out += std::to_string(expires_);
    }
    if (retryAfter_ > 0) {
        out += ";retry-after=";
        out += std::to_string(retryAfter_);
    }
    printParameters(out);
}

bool SipSubscriptionState::takeParameter(std::string_view name, std::string_view value) {
    if (kel_util::equalsIgnoreCase(name, "reason")) {
        reason_.assign(value);
    } else if (kel_util::equalsIgnoreCase(name, "expires")) {
        takeSeconds(value, expires_, "invalid expires");
    } else if (kel_util::equalsIgnoreCase(name, "retry-after")) {
        takeSeconds(value, retryAfter_, "invalid retry-after");
    } else {
        return false;
    }
    return true;
}

}  // namespace kel_sip
