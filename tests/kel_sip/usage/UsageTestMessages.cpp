#include "UsageTestMessages.h"

#include <atomic>

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
                  {SipHeader::SubscriptionState, "Subscription-State"},
                  {SipHeader::SessionExpires, "Session-Expires"},
                  {SipHeader::MinSE, "Min-SE"},

                  {SipHeader::RSeq, "RSeq"}};
    for (const auto& shown : kShown) {
        const std::string* value = message.getHeader(shown.kind, HeaderListBase::Position::First);
        if (value != nullptr) out += std::string(" ") + shown.name + "=" + *value;
    }
    if (!message.contentType.empty()) out += " Content-Type=" + message.contentType;
    return out;
}

void settle(FakeTransactionController& fake, const std::string& method) {
    static std::atomic<int> markers{0};
    const std::string branch = "z9hG4bKmark" + std::to_string(++markers);
    auto marker = parseMessage(method + " sip:alice@127.0.0.1:5062 SIP/2.0\n"
                               "Via: SIP/2.0/UDP 10.0.0.2:5080;branch=" + branch + "\n"
                               "From: <sip:bob@b.test>;tag=remote1\n"
                               "To: <sip:alice@a.test>;tag=none\n"
                               "Call-ID: marker\n"
                               "CSeq: 1 " + method + "\n"
                               "Content-Length: 0\n\n");
    const std::size_t before = fake.sent().size();
    ASSERT_GT(fake.injectRequest(*marker), 0);
    for (std::size_t count = before + 1;; ++count) {
        ASSERT_TRUE(fake.waitForSent(count));
        if (fake.sent()[count - 1].message->vias.front().getBranch() == branch) return;
    }
}

std::vector<std::string> sentSince(FakeTransactionController& fake, std::size_t from) {
    std::vector<std::string> out;
    const std::vector<SentMessage> all = fake.sent();
    for (std::size_t i = from; i < all.size(); ++i)
        if (all[i].message->callId != "marker") out.push_back(summary(*all[i].message));
    return out;
}

}  // namespace kel_sip::test
