#include "kel_sip/transport/SipTCPReceivePoller.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include "kel_util/Exception.h"
#include "kel_util/Log.h"

using kel_util::DET;
using kel_util::DEV;
using kel_util::logPrint;
using kel_util::MIN;
using kel_util::WinEpoll;

namespace kel_sip {

SipTCPReceivePoller::~SipTCPReceivePoller() { stop(); }

void SipTCPReceivePoller::setPollMaxEvents(int count) {
    if (count > WinEpoll::kMaxSockets) {
        logPrint(MIN, "SipTCPReceivePoller::setPollMaxEvents. Too many PollMaxEvents=%d. change max events=%d\n", count,
                 WinEpoll::kMaxSockets);
        count = WinEpoll::kMaxSockets;
    }
    maxEvents_ = count < 1 ? 1 : count;
}

bool SipTCPReceivePoller::init() {
    if (!epoll_.create(maxEvents_)) {
        logPrint(MIN, "SipTCPReceivePoller::init. Failed epoll_create, (%d).\n", errno);
        return false;
    }
    bool started = false;
    try {
        started = start();
    } catch (const kel_util::SystemException& error) {
        logPrint(MIN, "SipTCPReceivePoller::init. Failed start, %s.\n", error.toString().c_str());
    }
    if (!started) epoll_.close();
    return started;
}

void SipTCPReceivePoller::stop() {
    kel_util::Thread::stop();
    epoll_.wake();
    join();
    epoll_.close();
}

bool SipTCPReceivePoller::addPollTarget(int handle) {
    if (epoll_.control(WinEpoll::ADD, handle, WinEpoll::kReadMask) != 0) {
        logPrint(MIN, "SipTCPReceivePoller::addPollTarget. Failed epoll_ctl, hSocket=%d, (%d).\n", handle, errno);
        return false;
    }
    logPrint(DET, "SipTCPReceivePoller::addPollTarget. Succeeded epoll_ctl ADD, hSocket=%d.\n", handle);
    return true;
}

void SipTCPReceivePoller::removePollTarget(int handle) {
    if (epoll_.control(WinEpoll::DEL, handle, 0) == 0) {
        logPrint(DET, "SipTCPReceivePoller::removePollTarget. Done epoll_ctl DEL, hSocket=%d.\n", handle);
    }
}

bool SipTCPReceivePoller::rearm(int handle) {
    if (epoll_.rearm(handle) == 0) return true;
    logPrint(MIN, "SipTCPReceivePoller::rearm. Failed epoll_ctl MOD, hSocket=%d, (%d).\n", handle, errno);
    return false;
}

void SipTCPReceivePoller::run() {
    logPrint(DET, "SipTCPReceivePoller::run. Starting SipTCPReceivePoller.\n");
    WinEpoll::Ready ready[WinEpoll::kMaxSockets];
    while (isRunning()) {
        const int count = epoll_.wait(std::chrono::milliseconds(kWaitTimeoutMs), ready, maxEvents_);
        if (count < 0) {
            logPrint(MIN, "SipTCPReceivePoller::run. Failed epoll_wait, (%d).\n", errno);
            // Only a broken poller fails, and it fails at once: the pause keeps it from spinning.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        if (count == 0) {
            logPrint(DEV, "SipTCPReceivePoller::run. Timeout epoll_wait.\n");
            continue;
        }
        logPrint(DEV, "SipTCPReceivePoller::run. Succeeded epoll_wait, result=%d.\n", count);
        for (int i = 0; i < count; ++i) onPollEvent_(ready[i].handle);
    }
    logPrint(DET, "SipTCPReceivePoller::run. Stopping SipTCPReceivePoller.\n");
}

}  // namespace kel_sip
