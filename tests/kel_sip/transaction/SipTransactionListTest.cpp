#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
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

TEST(SipTransactionList, ClearKeepsAHeldTransactionUntilItsHolderReleasesIt) {
    FakeWorld world;
    SipTransactionList list;
    list.lock();
    SipTransactionListData* idle = list.addAndHold(makeServer(world, "z9hG4bKidle"));
    list.release(idle, false);
    const int idleId = idle->getId();
    SipTransactionListData* added = list.addAndHold(makeServer(world, "z9hG4bKheld"));
    const int heldId = added->getId();
    const std::string heldKey = added->payload().key();
    list.release(added, false);
    list.unlock();

    // A user's thread holds one transaction, as the list protocol lets it, while the
    // controller clears the list on another.
    std::mutex mutex;
    std::condition_variable changed;
    bool holding = false;
    bool cleared = false;
    std::string keySeen;
    std::thread holder([&] {
        list.lock();
        SipTransactionListData* held = list.getAndLockById(heldId);
        if (held == nullptr) list.unlock();
        {
            std::unique_lock<std::mutex> lock(mutex);
            holding = true;
            changed.notify_all();
            changed.wait(lock, [&] { return cleared; });
        }
        if (held == nullptr) return;
        keySeen = held->payload().key();  // ASan reports a use after free here
        list.release(held, false);
        list.unlock();
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return holding; });
    }
    list.lock();
    EXPECT_EQ(list.clear(), 2);
    EXPECT_EQ(list.size(), 1u);  // the idle one is gone, the held one waits for its holder
    EXPECT_EQ(list.getAndLockById(idleId), nullptr);
    EXPECT_EQ(list.getAndLockById(heldId), nullptr);  // no longer handed out
    list.unlock();
    {
        std::lock_guard<std::mutex> lock(mutex);
        cleared = true;
    }
    changed.notify_all();
    holder.join();

    EXPECT_EQ(keySeen, heldKey);
    list.lock();
    EXPECT_EQ(list.size(), 0u);  // the holder's release erased it
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
