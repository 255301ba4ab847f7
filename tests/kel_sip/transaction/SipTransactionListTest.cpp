#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "TransactionTestKit.h"
#include "kel_sip/transaction/NonINVITEServerTransaction.h"
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

}  // namespace
}  // namespace kel_sip::test
