#include "kel_util/MessageCaptor.h"

#include "kel_util/Exception.h"
#include "kel_util/Log.h"
#include "kel_util/SocketException.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <shared_mutex>

namespace kel_util {
namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds until(Clock::time_point deadline) {
    return std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
}

void shutdownQuietly(Socket& socket) {
    if (!socket.isOpen()) return;
    try {
        socket.shutdown(SHUT_RDWR);
    } catch (const SocketException& error) {
        logPrint(DEV, "MessageCaptor::shutdown. SocketException [%s].\n", error.toString().c_str());
    }
}

}  // namespace

MessageCaptor::MessageCaptor(std::size_t bufferLimit)
    : bufferLimit_(bufferLimit), wakeHandle_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (wakeHandle_ < 0) throw SystemException("MessageCaptor::MessageCaptor, eventfd");
    setName("MessageCaptor");
}

MessageCaptor::~MessageCaptor() {
    stop();
    join();
    ::close(wakeHandle_);
}

bool MessageCaptor::init(int port, const std::string& host) {
    logPrint(DBG, "MessageCaptor::init. start\n");
    std::vector<SocketAddress> addresses = SocketAddress::resolveAll(port, host.c_str(), AF_UNSPEC);
    if (addresses.empty()) {
        logPrint(MIN, "MessageCaptor::init. Failed to resolve the listener, host=[%s], port=%d.\n", host.c_str(), port);
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        listener_ = std::move(addresses);
        reconnect_ = true;
        shutdownQuietly(socket_);  // the thread closes it and connects to the new address
    }
    wake();
    bool started = true;
    if (!isRunning()) {
        try {
            join();  // a thread stopped earlier must be gone before it starts again
            started = Thread::start();
        } catch (const SystemException& error) {
            logPrint(MIN, "MessageCaptor::init. Failed start, %s\n", error.toString().c_str());
            started = false;
        }
    }
    logPrint(DBG, "MessageCaptor::init. end\n");
    return started;
}

void MessageCaptor::notify(const char* data, int length, capture::Direction direction,
                           capture::Transport transport, const SocketAddress& source,
                           const SocketAddress& destination) {
    if (data == nullptr || length <= 0) return;
    const std::size_t size = capture::HEADER_LENGTH + static_cast<std::size_t>(length);
    // Checked again under the lock; this first look spares a stuck listener's drops the copy.
    if (!isConnected() || !hasRoom(size)) {
        drop(isConnected());
        return;
    }
    const capture::Header header = capture::messageHeader(direction, transport, std::chrono::system_clock::now(),
                                                          source, destination, static_cast<std::uint32_t>(length));
    Record record(size);
    std::memcpy(record.data(), header.data(), header.size());
    std::memcpy(record.data() + header.size(), data, static_cast<std::size_t>(length));
    if (enqueue(std::move(record))) wake();
}

bool MessageCaptor::hasRoom(std::size_t size) const noexcept {
    return pendingBytes_.load(std::memory_order_relaxed) + size <= bufferLimit_;
}

// True when the thread must be woken: the record is the first one waiting.
bool MessageCaptor::enqueue(Record record) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (connected_.load(std::memory_order_relaxed) && hasRoom(record.size())) {
            dropping_.store(false, std::memory_order_relaxed);
            pendingBytes_.fetch_add(record.size(), std::memory_order_relaxed);
            pending_.push_back(std::move(record));
            return pending_.size() == 1;
        }
    }
    drop(isConnected());
    return false;
}

void MessageCaptor::drop(bool bufferFull) {
    const std::uint64_t dropped = dropped_.fetch_add(1, std::memory_order_relaxed) + 1;
    // One line per run of drops, not one per message; while disconnected they are expected.
    if (bufferFull && !dropping_.exchange(true, std::memory_order_relaxed)) {
        logPrint(MIN, "MessageCaptor::notify. Listener too slow, dropping records, dropped=%llu.\n",
                 static_cast<unsigned long long>(dropped));
    }
}

void MessageCaptor::stop() {
    Thread::stop();
    {
        std::lock_guard<std::mutex> guard(lock_);
        shutdownQuietly(socket_);
    }
    wake();
}

void MessageCaptor::wake() {
    const std::uint64_t one = 1;
    // Cannot fail short of overflowing the counter, which a reader resets long before.
    [[maybe_unused]] const ssize_t written = ::write(wakeHandle_, &one, sizeof one);
}

short MessageCaptor::waitForWork(std::chrono::milliseconds timeout) {
    pollfd entries[2] = {{wakeHandle_, POLLIN, 0}, {socket_.getHandle(), POLLIN, 0}};
    const nfds_t count = socket_.isOpen() ? 2 : 1;
    const int result = ::poll(entries, count, timeout.count() > 0 ? static_cast<int>(timeout.count()) : 0);
    if (result <= 0) return 0;  // time-out, or EINTR: the caller's loop looks again
    if ((entries[0].revents & POLLIN) != 0) {
        std::uint64_t wakeups = 0;
        [[maybe_unused]] const ssize_t read = ::read(wakeHandle_, &wakeups, sizeof wakeups);
    }
    return count == 2 ? entries[1].revents : 0;
}

void MessageCaptor::run() {
    logPrint(DBG, "MessageCaptor::run. thread start\n");
    while (isRunning()) {
        if (!connect()) {
            waitForWork(RECONNECT_INTERVAL);
            continue;
        }
        serve();
        disconnect();
    }
    logPrint(DBG, "MessageCaptor::run. thread end\n");
}

bool MessageCaptor::connect() {
    std::vector<SocketAddress> targets;
    {
        std::lock_guard<std::mutex> guard(lock_);
        targets = listener_;
        reconnect_ = false;
    }
    for (const SocketAddress& target : targets) {
        if (!isRunning()) return false;
        logPrint(DEV, "MessageCaptor::run. connect to %s\n", target.toString().c_str());
        try {
            {
                std::lock_guard<std::mutex> guard(lock_);
                socket_.open(target.getFamily(), SOCK_STREAM);
            }
            if (socket_.connect(target, CONNECT_TIMEOUT)) {
                std::lock_guard<std::mutex> guard(lock_);
                connected_.store(true, std::memory_order_release);
                logPrint(DBG, "MessageCaptor::run. connected to %s\n", target.toString().c_str());
                return true;
            }
            logPrint(DEV, "MessageCaptor::run. connect error\n");
        } catch (const SocketException& error) {
            logPrint(DEV, "MessageCaptor::run. connect exception, %s\n", error.toString().c_str());
        }
        std::lock_guard<std::mutex> guard(lock_);
        socket_.close();
    }
    return false;
}

void MessageCaptor::serve() {
    static const capture::Header keepAliveHeader = capture::keepAliveHeader();
    static const Record keepAlive(keepAliveHeader.begin(), keepAliveHeader.end());
    auto nextKeepAlive = Clock::now() + KEEP_ALIVE_INTERVAL;
    try {
        while (isRunning()) {
            {
                std::lock_guard<std::mutex> guard(lock_);
                if (reconnect_) return;
            }
            const short events = waitForWork(until(nextKeepAlive));
            if (events != 0 && !readListener()) return;
            if (!sendPending()) return;
            if (Clock::now() >= nextKeepAlive) {
                if (!sendWhole(keepAlive)) {
                    logPrint(MIN, "MessageCaptor::run. null data send error %d\n", errno);
                    return;
                }
                nextKeepAlive = Clock::now() + KEEP_ALIVE_INTERVAL;
            }
        }
    } catch (const SocketException& error) {
        logPrint(MIN, "MessageCaptor::run. exception in send, %s\n", error.toString().c_str());
    }
}

void MessageCaptor::disconnect() {
    std::lock_guard<std::mutex> guard(lock_);
    connected_.store(false, std::memory_order_release);
    dropped_.fetch_add(pending_.size(), std::memory_order_relaxed);
    pending_.clear();
    pendingBytes_.store(0, std::memory_order_relaxed);
    socket_.close();
    logPrint(DBG, "MessageCaptor::run. disconnected\n");
}

// The listener's bytes carry nothing; they only show that it is alive. False when it is gone.
bool MessageCaptor::readListener() {
    char bytes[4];
    const int received = socket_.receive(bytes, sizeof bytes, MSG_DONTWAIT);
    if (received > 0 || (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))) return true;
    logPrint(DBG, "MessageCaptor::run. receive error %d\n", received < 0 ? errno : 0);
    return false;
}

bool MessageCaptor::sendPending() {
    for (;;) {
        Record record;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (pending_.empty()) return true;
            record = std::move(pending_.front());
            pending_.pop_front();
            pendingBytes_.fetch_sub(record.size(), std::memory_order_relaxed);
        }
        if (!sendWhole(record)) {
            dropped_.fetch_add(1, std::memory_order_relaxed);
            logPrint(MIN, "MessageCaptor::run. send failed\n");
            return false;
        }
    }
}

// Writes the whole record or reports failure; the connection then ends, so the listener never
// sees a cut record followed by another.
bool MessageCaptor::sendWhole(const Record& record) {
    const auto deadline = Clock::now() + SEND_DEADLINE;
    std::size_t done = 0;
    while (done < record.size()) {
        const int sent = socket_.send(record.data() + done, static_cast<int>(record.size() - done), MSG_DONTWAIT);
        if (sent > 0) {
            done += static_cast<std::size_t>(sent);
            continue;
        }
        if (sent == 0 || (errno != EAGAIN && errno != EWOULDBLOCK) || !isRunning()) return false;
        const auto left = until(deadline);
        if (left.count() <= 0 || !socket_.wait(Socket::Readiness::WRITABLE, left)) return false;
    }
    return true;
}

namespace {

std::shared_mutex& instanceLock() {
    static std::shared_mutex lock;
    return lock;
}

std::unique_ptr<MessageCaptor>& instance() {
    static std::unique_ptr<MessageCaptor> captor;
    return captor;
}

}  // namespace

bool MessageCaptor::startCaptor(int port, const std::string& host) {
    std::unique_lock<std::shared_mutex> guard(instanceLock());
    if (!instance()) instance() = std::make_unique<MessageCaptor>();
    return instance()->init(port, host);
}

void MessageCaptor::captureMessage(const char* data, int length, capture::Direction direction, capture::Transport transport,
                            const SocketAddress& source, const SocketAddress& destination) {
    std::shared_lock<std::shared_mutex> guard(instanceLock());
    if (instance()) instance()->notify(data, length, direction, transport, source, destination);
}

void MessageCaptor::cleanCaptor() {
    std::unique_ptr<MessageCaptor> captor;
    {
        std::unique_lock<std::shared_mutex> guard(instanceLock());
        captor = std::move(instance());
    }
    // Destroyed outside the lock: joining its thread must not hold up the transports.
    captor.reset();
}

}  // namespace kel_util
