#include <gtest/gtest.h>

#include <memory>
#include <string>

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
    SipTransactionListData* held = list.addAndHold(makeServer(world, "z9hG4bKheld"));
    list.lock();
    SipTransactionListData* idle = list.addAndHold(makeServer(world, "z9hG4bKidle"));
    list.lock();
    list.release(idle, false);
    const int idleId = idle->getId();
    const std::string heldKey = held->payload().key();

    EXPECT_EQ(list.clear(), 2);
    EXPECT_EQ(list.size(), 1u);  // the idle one is gone, the held one waits for its holder
    EXPECT_EQ(list.getAndLockById(idleId), nullptr);
    EXPECT_EQ(list.getAndLockById(held->getId()), nullptr);  // no longer handed out
    list.unlock();

    // The holder still works on its transaction (ASan reports a use after free here).
    EXPECT_EQ(held->payload().key(), heldKey);
    list.lock();
    list.release(held, false);
    EXPECT_EQ(list.size(), 0u);
    list.unlock();
}

}  // namespace
}  // namespace kel_sip::test
