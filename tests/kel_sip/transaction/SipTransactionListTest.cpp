#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "TransactionTestKit.h"
#include "kel_sip/transaction/NonINVITEServerTransaction.h"
#include "kel_sip/transaction/ServerTransaction.h"
#include "kel_sip/transaction/ServerTransactionID.h"
#include "kel_sip/transaction/SipTransactionList.h"

namespace kel_sip::test {
namespace {

std::unique_ptr<SipTransaction> makeServer(FakeWorld& world, const std::string& branch) {
    auto transaction = std::make_unique<NonINVITEServerTransaction>(world.makeContext());
    EXPECT_TRUE(transaction->setRequest(*makeRequest("OPTIONS", branch)));
    return transaction;
}

TEST(SipTransactionList, ClearWaitsForTheStepOnAHeldTransactionToEnd) {
    FakeWorld world;
    SipTransactionList list;
    list.lock();
    list.release(list.addAndHold(makeServer(world, "z9hG4bKidle")), false);
    SipTransactionListData* held = list.addAndHold(makeServer(world, "z9hG4bKheld"));
    const std::string heldKey = held->payload().key();
    // A user's thread is inside a step on one transaction while the controller clears the list.
    int cleared = -1;
    std::thread clearer([&] {
        list.lock();
        cleared = list.clear();
        list.unlock();
    });
    for (;;) {  // until the clearer waits in line for the held entry
        list.lock();
        const int holds = held->refCount;
        list.unlock();
        if (holds >= 2) break;
        std::this_thread::yield();
    }
    EXPECT_EQ(held->payload().key(), heldKey);  // ASan reports a use after free here
    list.release(held, false);
    list.unlock();
    clearer.join();

    EXPECT_EQ(cleared, 2);
    list.lock();
    EXPECT_EQ(list.size(), 0u);
    list.unlock();
}

TEST(SipTransactionList, RequestsOfOneCallTryOnlyTheTransactionOfTheirBranch) {
    // A peer that keeps its Call-ID (all requests of a dialog, a flood from one client) must
    // not make each lookup try every transaction of that call.
    FakeWorld world;
    SipTransactionList list;
    constexpr int kLive = 200;
    for (int i = 0; i < kLive; ++i) {
        list.lock();
        list.release(list.addAndHold(makeServer(world, "z9hG4bKsame" + std::to_string(i))), false);
        list.unlock();
    }
    const auto retransmission = makeRequest("OPTIONS", "z9hG4bKsame7");
    int tried = 0;
    list.lock();
    SipTransactionListData* found = list.getAndLockMatching(
        ServerTransactionID::keyOf(*retransmission), [&](SipTransaction& transaction) {
            ++tried;
            return static_cast<ServerTransaction&>(transaction).isRequestMatching(*retransmission);
        });
    ASSERT_NE(found, nullptr);
    list.release(found, false);
    list.unlock();
    EXPECT_EQ(tried, 1);
}

}  // namespace
}  // namespace kel_sip::test
