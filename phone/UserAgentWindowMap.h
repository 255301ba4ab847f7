// Which window asked for each subscription or publication, so that the usage's events reach
// it: the map from the usage's ID number to the window, and the events that arrive before
// that number is known.
//
// The ID number only comes back once the usage has sent the first request, and a fast answer
// may be worked on by the usage's worker before the asking thread has recorded its window.
// Such an event is not lost: while a start is under way, an event for an unknown ID is held
// (its message copied) and posted, in order, when the start records that ID; events held for
// an ID that no start records are dropped once no start is under way. The map's lock is only
// held for the lookup and the posts, never across the usage's send, so no worker waits for a
// thread that waits for the usage.
//
// Threads: any. The windows must outlive their entries (clear forgets them all).
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "phone/UserAgentEventSort.h"

class UserAgentWindowMap {
public:
    explicit UserAgentWindowMap(UserAgentHook hook) : hook_(hook) {}

    // Before the usage is asked to start one: from now until finishStart, events for IDs not
    // yet recorded are held.
    void beginStart();
    // After it: records id -> window when id > 0 and posts what was held for it. false when
    // id was recorded already (the entry is kept as it was).
    bool finishStart(int id, LogicLoop* window);

    // The hook's part, on the usage's worker: posts the event to the window of id, forgetting
    // that window when the event ends the usage. true when posted, dropped or held; false when
    // the window refused it.
    bool deliver(int type, int id, int state, const kel_sip::SipMessageExt* message);

    bool contains(int id);
    void clear();

private:
    struct HeldEvent {
        EventRoute route;
        std::unique_ptr<UserAgentEventParam> record;
    };

    // With mutex_ held: posts to window, erasing id's entry when the event ends the usage.
    bool postTo(LogicLoop& window, int id, const EventRoute& route, std::unique_ptr<UserAgentEventParam> record);
    // With mutex_ held: the events held for IDs no start will record any more.
    void dropUnclaimed();

    const UserAgentHook hook_;
    std::mutex mutex_;
    // Guarded by mutex_.
    std::unordered_map<int, LogicLoop*> windows_;
    std::map<int, std::vector<HeldEvent>> held_;
    int startsUnderWay_ = 0;
};
