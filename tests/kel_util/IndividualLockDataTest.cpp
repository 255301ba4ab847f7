#include "kel_util/IndividualLockData.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <thread>
#include <vector>

#include "RecordingHandler.h"
#include "Waiting.h"

using kel_util::IndividualLockData;
using kel_util::IndividualLockRecord;

namespace {

std::atomic<int> liveEntries{0};

struct Entry {
    Entry() { ++liveEntries; }
    ~Entry() { --liveEntries; }
    int getId() const { return id; }
    void setId(int value) { id = value; }

    int id = 0;
    int handled = 0;
    std::vector<int> lastByProducer;  // the newest sequence number each producer's events reached
    std::atomic<bool> busy{false};
};

using Record = IndividualLockRecord<Entry>;

class EntryList : public kel_util::IndividualLockDataList {
public:
    using IndividualLockDataList::setLastId;

    // Adds a new entry and returns it held, with the list unlocked.
    Record* addHeld() {
        lock();
        auto* record = static_cast<Record*>(addAndLock(std::make_unique<Record>(std::make_unique<Entry>())));
        if (record == nullptr) unlock();
        return record;
    }
    int refCount(int id) {
        lock();
        const int count = find(id) != nullptr ? find(id)->refCount : -1;
        unlock();
        return count;
    }
};

}  // namespace

TEST(IndividualLockDataList, RemovedRecordIsInvisibleWhileHeldAndDeletedByTheLastRelease) {
    const int before = liveEntries;
    EntryList list;
    kel_test::Monitor steps;
    int step = 0;  // 1: held, 2: go remove, 3: removed, 4: go release
    int id = 0;
    // The holder adds the record, holds it, marks it removed and finally releases it.
    std::thread holder([&] {
        Record* record = list.addHeld();
        steps.update([&] { id = record->getId(), step = 1; });
        steps.waitFor([&] { return step == 2; });
        record->removed = true;
        steps.update([&] { step = 3; });
        steps.waitFor([&] { return step == 4; });
        list.release(record);
        list.unlock();
    });
    ASSERT_TRUE(steps.waitFor([&] { return step == 1; }));

    // A second thread finds the record and waits for its lock.
    IndividualLockData* found = nullptr;
    std::thread waiter([&] {
        list.lock();
        found = list.getAndLock(id);
        if (found != nullptr) {
            list.release(found);
        }
        list.unlock();
    });
    ASSERT_TRUE(kel_test::eventually([&] { return list.refCount(id) == 2; }));

    steps.update([&] { step = 2; });
    ASSERT_TRUE(steps.waitFor([&] { return step == 3; }));
    list.lock();
    EXPECT_EQ(list.getAndLock(id), nullptr) << "found while removed and still held";
    list.unlock();
    EXPECT_EQ(liveEntries, before + 1);

    steps.update([&] { step = 4; });
    holder.join();
    waiter.join();
    EXPECT_EQ(found, nullptr) << "handed out a record removed while the caller waited for it";
    EXPECT_EQ(liveEntries, before);
    list.lock();
    EXPECT_EQ(list.size(), 0U);
    list.unlock();
}

TEST(IndividualLockDataList, IdsRestartAtOneAfterTheLargestAndSkipIdsInUse) {
    EntryList list;
    std::vector<int> ids;
    auto addOne = [&] {
        Record* record = list.addHeld();
        ASSERT_NE(record, nullptr);
        ids.push_back(record->getId());
        list.release(record);
        list.unlock();
    };
    addOne();  // id 1 stays listed
    list.lock();
    list.setLastId(INT_MAX - 1);
    list.unlock();
    addOne();
    addOne();
    EXPECT_EQ(ids, (std::vector<int>{1, INT_MAX, 2}));
}

// A list whose unlock can hold the calling thread in the gap between giving up the list and
// waiting for an entry, where getAndLock leaves it.
class GapList : public EntryList {
public:
    void unlock() override {
        EntryList::unlock();
        if (!holdInGap) return;
        holdInGap = false;
        // Until the next event's worker has asked for the same entry, and a while longer for it
        // to run ahead, which it may only do when the entry is not handed out in turn.
        EXPECT_TRUE(kel_test::eventually([this] { return refCount(gapEntry) >= 2 || handledInGap.load() > 0; }));
        kel_test::eventually([this] { return handledInGap.load() > 0; }, std::chrono::milliseconds(50));
    }

    static thread_local bool holdInGap;
    int gapEntry = 0;
    std::atomic<int> handledInGap{0};
};
thread_local bool GapList::holdInGap = false;

TEST(IndividualLockDataList, ConsecutiveEventsForOneEntryAreHandledInQueueOrder) {
    GapList list;
    Record* record = list.addHeld();
    list.gapEntry = record->getId();
    list.release(record);
    list.unlock();
    std::vector<int> order;  // guarded by the entry's lock
    kel_test::RecordingHandler handler;
    handler.hook = [&](const kel_test::Event& event) {
        list.lock();
        handler.releaseEventLock();
        GapList::holdInGap = event.param2 == 1;
        auto* held = static_cast<Record*>(list.getAndLock(static_cast<int>(event.param1)));
        ASSERT_NE(held, nullptr);
        order.push_back(static_cast<int>(event.param2));
        if (event.param2 == 2) ++list.handledInGap;
        list.release(held);
        list.unlock();
    };
    ASSERT_TRUE(handler.init(2, true));
    ASSERT_TRUE(handler.postEvent(1, list.gapEntry, 1, nullptr));
    ASSERT_TRUE(handler.postEvent(1, list.gapEntry, 2, nullptr));
    ASSERT_TRUE(handler.waitHandled(2));
    handler.clean();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

// Producers post events naming list entries; a locked-dispatch handler works on each entry under
// its own lock, and the entry's last event removes it. The events of one producer for one entry
// are queued in order and must be handled in that order, whichever worker takes them.
TEST(IndividualLockDataList, StressEveryEventHandledOnceInQueueOrderAndEveryRecordFreed) {
    constexpr int kEntries = 4;
    constexpr int kProducers = 4;
    constexpr int kPerProducer = 1000;
    constexpr int kEvents = kProducers * kPerProducer;
    constexpr int kPerEntry = kEvents / kEntries;
    const int before = liveEntries;

    EntryList list;
    std::vector<int> ids;
    for (int i = 0; i < kEntries; ++i) {
        Record* record = list.addHeld();
        record->payload().lastByProducer.assign(kProducers, -1);
        ids.push_back(record->getId());
        list.release(record);
        list.unlock();
    }
    std::vector<std::atomic<int>> seen(kEvents);
    std::atomic<int> overlaps{0};
    std::atomic<int> missing{0};
    std::atomic<int> outOfOrder{0};

    kel_test::RecordingHandler handler;
    handler.hook = [&](const kel_test::Event& event) {
        list.lock();
        handler.releaseEventLock();
        auto* record = static_cast<Record*>(list.getAndLock(static_cast<int>(event.param1)));
        if (record == nullptr) {
            ++missing;
            list.unlock();
            return;
        }
        Entry& entry = record->payload();
        if (entry.busy.exchange(true)) ++overlaps;
        const int sequence = static_cast<int>(event.param2);
        int& last = entry.lastByProducer[static_cast<std::size_t>(sequence / kPerProducer)];
        if (sequence < last) ++outOfOrder;
        last = sequence;
        ++seen[static_cast<std::size_t>(sequence)];
        if (++entry.handled == kPerEntry) record->removed = true;
        entry.busy = false;
        list.release(record);
        list.unlock();
    };
    ASSERT_TRUE(handler.init(4, true));
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int k = 0; k < kPerProducer; ++k) {
                const int sequence = p * kPerProducer + k;
                handler.postEvent(1, ids[static_cast<std::size_t>(sequence % kEntries)], sequence, nullptr);
            }
        });
    }
    for (auto& producer : producers) producer.join();
    ASSERT_TRUE(handler.waitHandled(kEvents));
    handler.clean();

    EXPECT_EQ(missing, 0);
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(outOfOrder, 0);
    int wrong = 0;
    for (auto& count : seen) wrong += count != 1 ? 1 : 0;
    EXPECT_EQ(wrong, 0) << "events not handled exactly once";
    list.lock();
    EXPECT_EQ(list.size(), 0U);
    list.unlock();
    EXPECT_EQ(liveEntries, before);
}
