#include "kel_util/IndividualLockData.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <thread>

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

// Producers post events naming list entries; a locked-dispatch handler works on each entry under
// its own lock, and the entry's last event removes it.
TEST(IndividualLockDataList, StressEveryEventHandledOnceAndEveryRecordFreed) {
    constexpr int kEntries = 20;
    constexpr int kProducers = 4;
    constexpr int kPerProducer = 1000;
    constexpr int kEvents = kProducers * kPerProducer;
    constexpr int kPerEntry = kEvents / kEntries;
    const int before = liveEntries;

    EntryList list;
    std::vector<int> ids;
    for (int i = 0; i < kEntries; ++i) {
        Record* record = list.addHeld();
        ids.push_back(record->getId());
        list.release(record);
        list.unlock();
    }
    std::vector<std::atomic<int>> seen(kEvents);
    std::atomic<int> overlaps{0};
    std::atomic<int> missing{0};

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
        ++seen[static_cast<std::size_t>(event.param2)];
        if (++entry.handled == kPerEntry) record->removed = true;
        entry.busy = false;
        list.release(record);
        list.unlock();
    };
    ASSERT_TRUE(handler.init(3, true));
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
    int wrong = 0;
    for (auto& count : seen) wrong += count != 1 ? 1 : 0;
    EXPECT_EQ(wrong, 0) << "events not handled exactly once";
    list.lock();
    EXPECT_EQ(list.size(), 0U);
    list.unlock();
    EXPECT_EQ(liveEntries, before);
}
