// Starts an engine thread; the platform refusing a thread is logged, not thrown past the engine.
#pragma once

#include "kel_util/Exception.h"
#include "kel_util/Log.h"
#include "kel_util/Thread.h"

// false when the thread was started before and not joined since.
// where: the class and operation for the log line, as "RTPSender::start".
inline bool startThread(kel_util::Thread& thread, const char* where) {
    try {
        return thread.start();
    } catch (const kel_util::Throwable& e) {
        kel_util::logPrint(kel_util::MIN, "%s. Failed to start thread: [%s].\n", where, e.toString().c_str());
        return false;
    }
}
