#include "TransactionTestKit.h"

#include <gtest/gtest.h>

namespace kel_sip::test {

class FakeWorld::Context : public TransactionContext {
public:
    explicit Context(FakeWorld& world) : world_(world) {}

    bool sendRequest(SipMessageExt& request, int) override { return send(request); }
    bool sendResponse(SipMessageExt& response, int) override { return send(response); }
    bool isReliable() const override { return world_.reliable; }
    const void* transport() const override { return &world_; }

    bool startTimer(int, int timer, int milliseconds) override {
        EXPECT_FALSE(world_.isTimerPending(timer)) << "timer " << timer << " started twice";
        world_.due_.emplace(std::make_pair(world_.now + milliseconds, world_.startCount_++), timer);
        return true;
    }
    void cancelTimer(int, int timer) override {
        for (auto it = world_.due_.begin(); it != world_.due_.end(); ++it) {
            if (it->second == timer) {
                world_.due_.erase(it);
                return;
            }
        }
    }

    bool notifyUser(int type, SipMessageSlot& message, int transactionId, int userId) override {
        if (world_.failNotifications) return false;
        world_.notifications.push_back({world_.now, type, std::move(message), transactionId, userId});
        return true;
    }
    TransactionTimerValues timerValues() const override { return world_.values; }

private:
    bool send(SipMessageExt& message) {
        ++world_.sendAttempts;
        if (world_.failSends) return false;
        world_.sent.push_back({world_.now, message});
        return true;
    }

    FakeWorld& world_;
};

std::unique_ptr<TransactionContext> FakeWorld::makeContext() {
    return std::make_unique<Context>(*this);
}

void FakeWorld::advance(SipTransaction& transaction, long long milliseconds) {
    const long long target = now + milliseconds;
    while (!due_.empty() && due_.begin()->first.first <= target) {
        const auto first = due_.begin();
        now = first->first.first;
        const int timer = first->second;
        due_.erase(first);
        if (!transaction.onTimeout(timer)) allTimerStepsSucceeded = false;
    }
    if (target > now) now = target;
}

bool FakeWorld::isTimerPending(int timer) const {
    for (const auto& entry : due_) {
        if (entry.second == timer) return true;
    }
    return false;
}

std::vector<long long> FakeWorld::sendTimes(std::string_view method, int statusCode) const {
    std::vector<long long> times;
    for (const SentMessage& s : sent) {
        if (s.message.getMethodName() == method && s.message.statusCode == statusCode) times.push_back(s.at);
    }
    return times;
}

std::vector<int> FakeWorld::notificationTypes() const {
    std::vector<int> types;
    for (const Notification& n : notifications) types.push_back(n.type);
    return types;
}

std::unique_ptr<SipMessageExt> parseMessage(const std::string& text) {
    std::string wire;
    for (char c : text) {
        if (c == '\n') wire += '\r';
        wire += c;
    }
    auto message = std::make_unique<SipMessageExt>();
    std::string reason;
    EXPECT_TRUE(message->parse(wire.data(), static_cast<int>(wire.size()), reason)) << reason << "\n" << text;
    return message;
}

std::unique_ptr<SipMessageExt> makeRequest(const std::string& method, const std::string& branch,
                                           const std::string& sentBy) {
    return parseMessage(method + " sip:bob@example.com SIP/2.0\n"
                        "Via: SIP/2.0/UDP " + sentBy + ";branch=" + branch + "\n"
                        "Max-Forwards: 70\n"
                        "From: Alice <sip:alice@example.com>;tag=a11ce\n"
                        "To: Bob <sip:bob@example.com>\n"
                        "Call-ID: 3848276298220188511@client.example.com\n"
                        "CSeq: 1 " + method + "\n"
                        "Content-Length: 0\n\n");
}

std::unique_ptr<SipMessageExt> makeResponse(const SipMessageExt& request, int code, const std::string& toTag) {
    auto response = request.createResponse(code, nullptr, false);
    response->to.tag = toTag;
    return response;
}

}  // namespace kel_sip::test
