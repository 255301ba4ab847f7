#include "UsageTestMessages.h"

#include "kel_sip/syntax/SipHeader.h"

namespace kel_sip::test {

std::string summary(SipMessageExt& message) {
    std::string out = message.isRequest ? std::string(message.getMethodName())
                                        : std::to_string(message.statusCode) + " " + message.reasonPhrase;
    static constexpr struct {
        int kind;
        const char* name;
    } kShown[] = {{SipHeader::Expires, "Expires"},
                  {SipHeader::MinExpires, "Min-Expires"},
                  {SipHeader::Event, "Event"},
                  {SipHeader::SubscriptionState, "Subscription-State"}};
    for (const auto& shown : kShown) {
        const std::string* value = message.getHeader(shown.kind, HeaderListBase::Position::First);
        if (value != nullptr) out += std::string(" ") + shown.name + "=" + *value;
    }
    if (!message.contentType.empty()) out += " Content-Type=" + message.contentType;
    return out;
}

}  // namespace kel_sip::test
