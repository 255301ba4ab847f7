#include "kel_util/WinEpoll.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace kel_util {

WinEpoll::~WinEpoll() { close(); }

bool WinEpoll::create(int sockets) {
    std::lock_guard guard(mutex_);
    if (sockets < 1 || sockets > kMaxSockets || epoll_ >= 0) {
        errno = EINVAL;
        return false;
    }
    const int poller = ::epoll_create1(EPOLL_CLOEXEC);
    const int wakeEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = -1;  // tells the wake event from the sockets
    if (poller < 0 || wakeEvent < 0 || ::epoll_ctl(poller, EPOLL_CTL_ADD, wakeEvent, &event) != 0) {
        const int error = errno;
        if (poller >= 0) ::close(poller);
        if (wakeEvent >= 0) ::close(wakeEvent);
        errno = error;
        return false;
    }
    epoll_ = poller;
    wakeEvent_ = wakeEvent;
    slots_ = sockets;
    return true;
}

void WinEpoll::close() noexcept {
    // Under the mutex: a reader may still re-arm its socket, and must not reach a closed
    // descriptor whose number was given out again.
    std::lock_guard guard(mutex_);
    if (epoll_ >= 0) ::close(epoll_);
    if (wakeEvent_ >= 0) ::close(wakeEvent_);
    epoll_ = -1;
    wakeEvent_ = -1;
    handles_.clear();
}

int WinEpoll::control(int operation, int handle, std::uint32_t mask) {
    std::lock_guard guard(mutex_);
    const bool present = handles_.count(handle) != 0;
    epoll_event event{};
    event.events = mask | EPOLLONESHOT;
    event.data.fd = handle;
    switch (operation) {
        case ADD:
            if (present || static_cast<int>(handles_.size()) >= slots_) {
                errno = present ? EEXIST : ENOSPC;
                return -1;
            }
            if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, handle, &event) != 0) return -1;
            handles_.insert(handle);
            return 0;
        case MOD:
            if (!present) break;
            return ::epoll_ctl(epoll_, EPOLL_CTL_MOD, handle, &event);
        case DEL:
            if (!present) break;
            handles_.erase(handle);
            return ::epoll_ctl(epoll_, EPOLL_CTL_DEL, handle, nullptr);
        default:
            errno = EINVAL;
            return -1;
    }
    errno = ENOENT;
    return -1;
}

int WinEpoll::wait(std::chrono::milliseconds timeout, Ready* ready, int capacity) {
    // Never more events than ready can take: a one-shot event left out would never come again.
    epoll_event events[kMaxSockets];
    const int room = capacity < 1 ? 1 : capacity < kMaxSockets ? capacity : kMaxSockets;
    const int count = ::epoll_wait(epoll_, events, room, static_cast<int>(timeout.count()));
    if (count < 0) return errno == EINTR ? 0 : -1;
    int filled = 0;
    for (int i = 0; i < count; ++i) {
        if (events[i].data.fd < 0) {
            std::uint64_t value;
            [[maybe_unused]] const ssize_t drained = ::read(wakeEvent_, &value, sizeof value);
            continue;
        }
        ready[filled++] = Ready{events[i].data.fd, events[i].events};
    }
    return filled;
}

void WinEpoll::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeEvent_, &one, sizeof one);
}

int WinEpoll::getSocketCount() const {
    std::lock_guard guard(mutex_);
    return static_cast<int>(handles_.size());
}

}  // namespace kel_util
