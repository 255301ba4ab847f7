// Id-keyed lists of live objects whose entries carry their own lock, so that workers of one
// handler work on different entries at the same time while one entry is only ever worked on
// by one thread.
//
// Typical use from a locked dispatch:
//   list.lock(); handler.releaseEventLock();
//   IndividualLockData* record = list.getAndLock(id);
//   if (record == nullptr) { log; list.unlock(); return; }
//   ... work on the payload; set record->removed when the object has reached its end ...
//   list.release(record); list.unlock();
// Lock order: the handler's eventLock, then the list lock, then an entry lock; an entry lock is
// given up before the list lock is taken again.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "kel_util/Mutex.h"

namespace kel_util {

// The lock of one entry, granted in the order it was asked for (a ticket lock): a place in the
// line is taken with the list locked, the wait for the turn happens with the list unlocked.
// Two workers that took consecutive events for one entry so work on it in that order, while
// other entries stay reachable during the wait. Not recursive.
class EntryLock {
public:
    // With the list locked: the next place in the line.
    unsigned take() noexcept { return next_++; }
    // Waits until the holders before ticket have unlocked.
    void wait(unsigned ticket);
    // Hands the entry to the next in line.
    void unlock();

private:
    unsigned next_ = 0;  // guarded by the list lock
    std::mutex mutex_;
    std::condition_variable turn_;
    unsigned serving_ = 0;  // guarded by mutex_
};

// The lock and hold count of one entry. refCount is guarded by the list lock; removed is set by
// a thread holding the entry's lock.
class IndividualLockDataBase {
public:
    virtual ~IndividualLockDataBase() = default;

    int refCount = 0;      // threads holding the entry or waiting for its lock
    std::atomic<bool> removed{false};  // the entry is deleted by the last release
    EntryLock lock;
};

// An entry; the id lives in the payload, which the record owns.
class IndividualLockData : public IndividualLockDataBase {
public:
    ~IndividualLockData() override = default;
    virtual int getId() const = 0;
    virtual void setId(int id) = 0;
};

// A record owning a payload of type T that has getId() and setId(int).
template <class T>
class IndividualLockRecord : public IndividualLockData {
public:
    explicit IndividualLockRecord(std::unique_ptr<T> payload) : payload_(std::move(payload)) {}
    int getId() const override { return payload_->getId(); }
    void setId(int id) override { payload_->setId(id); }
    T& payload() const noexcept { return *payload_; }

private:
    std::unique_ptr<T> payload_;
};

class IndividualLockDataList {
public:
    IndividualLockDataList() = default;
    // Deletes the records still listed.
    virtual ~IndividualLockDataList() = default;
    IndividualLockDataList(const IndividualLockDataList&) = delete;
    IndividualLockDataList& operator=(const IndividualLockDataList&) = delete;

    virtual void lock() { mutex_.lock(); }
    virtual void unlock() { mutex_.unlock(); }

    // With the list locked: gives the record the next free positive id (after the largest id
    // the counter restarts at 1; ids still in use are skipped), lists it and returns it.
    IndividualLockData* add(std::unique_ptr<IndividualLockData> data);
    // add, then lock the new record for the caller (refCount 1) and unlock the list. When it
    // cannot be added, returns nothing with the list still locked.
    IndividualLockData* addAndLock(std::unique_ptr<IndividualLockData> data);

    // With the list locked: when the id is listed and not removed, takes the record's lock,
    // counts the hold and returns it with the list unlocked. Otherwise returns nothing with the
    // list still locked; the caller unlocks it. A record that became removed while the caller
    // waited for its lock is not handed out. Callers that asked in turn under the list lock get
    // the record in that turn.
    IndividualLockData* getAndLock(int id);
    // Unlocks the record and returns with the list locked (the caller unlocks it); the last
    // holder of a removed record erases it.
    void release(IndividualLockData* data);

    // With the list locked: unlists and deletes the record. Subclasses drop their second
    // index entry, then call this.
    virtual void erase(IndividualLockData* data);

    // With the list locked.
    std::size_t size() const noexcept { return records_.size(); }
    // With the list locked: the ids listed, in no particular order.
    std::vector<int> ids() const;

protected:
    IndividualLockData* find(int id) const;
    // With the list locked: locks a record just added for its creator (refCount 1) and unlocks
    // the list. Subclass add operations call it after entering their second index.
    IndividualLockData* holdNew(IndividualLockData* record);
    // With the list locked: the next add counts on from id (used by tests of the wrap-around).
    void setLastId(int id) noexcept { lastId_ = id; }

private:
    void dropHold(IndividualLockData* data);

    Mutex mutex_;
    int lastId_ = 0;
    std::unordered_map<int, std::unique_ptr<IndividualLockData>> records_;
};

}  // namespace kel_util
