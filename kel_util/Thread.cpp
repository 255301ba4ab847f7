#include "kel_util/Thread.h"

#include <climits>
#include <cstdio>
#include <unordered_map>

#include "kel_util/Exception.h"
#include "kel_util/Log.h"
#include "kel_util/Mutex.h"

namespace kel_util {
namespace {

// The thread-name registry: kernel thread id -> name. Its mutex is a leaf lock.
struct NameRegistry {
    Mutex mutex;
    std::unordered_map<pid_t, std::string> names;
};

NameRegistry& registry() {
    static NameRegistry* const instance = new NameRegistry;  // never destroyed: threads may outlive exit
    return *instance;
}

std::atomic<int> unnamedThreadCount{0};

void setOsName(pthread_t handle, const std::string& name) {
    pthread_setname_np(handle, name.substr(0, 15).c_str());
}

}  // namespace

std::string currentThreadName() {
    NameRegistry& names = registry();
    ScopedLock guard(names.mutex);
    const pid_t id = currentThreadId();
    auto found = names.names.find(id);
    if (found == names.names.end()) found = names.names.emplace(id, std::to_string(id)).first;
    return found->second;
}

Thread::Thread(Thread* target) : target_(target) {}

Thread::~Thread() {
    if (!started_) return;
    // The owner should have stopped and joined it. Detaching would leave the thread running on
    // freed memory, so it is asked to stop and waited for: a thread that ignores its running
    // flag hangs here, where the log line names it, instead of corrupting the heap.
    logPrint(CRI, "Thread::~Thread. Thread %s destroyed without join; stopping and joining it.\n", getName().c_str());
    running_.store(false, std::memory_order_release);
    if (const int result = pthread_join(handle_, nullptr); result != 0) {
        logPrint(CRI, "Thread::~Thread. pthread_join failed (%d).\n", result);
    }
}

void Thread::run() {
    if (target_ != nullptr) target_->run();
}

void Thread::setName(const std::string& name) {
    NameRegistry& names = registry();
    ScopedLock guard(names.mutex);
    name_ = name;
    const pid_t id = getThreadId();
    if (id != -1) {
        names.names[id] = name;
        setOsName(self_, name);
    }
}

std::string Thread::getName() const {
    NameRegistry& names = registry();
    ScopedLock guard(names.mutex);
    return name_;
}

bool Thread::start(long stackSize) {
    if (started_) return false;
    running_.store(true, std::memory_order_release);
    pthread_attr_t attributes;
    int result = pthread_attr_init(&attributes);
    if (result == 0 && stackSize != -1) {
        result = pthread_attr_setstacksize(&attributes, stackSize < PTHREAD_STACK_MIN ? PTHREAD_STACK_MIN : stackSize);
    }
    if (result == 0) result = pthread_create(&handle_, &attributes, &Thread::entry, this);
    pthread_attr_destroy(&attributes);
    if (result != 0) {
        running_.store(false, std::memory_order_release);
        throw SystemException(result, "Thread::start, pthread_create");
    }
    started_ = true;
    return true;
}

void Thread::join() {
    if (!started_) return;
    if (const int result = pthread_join(handle_, nullptr); result != 0) {
        throw SystemException(result, "Thread::join, pthread_join");
    }
    started_ = false;
}

void Thread::stop() { running_.store(false, std::memory_order_release); }

void* Thread::entry(void* self) {
    static_cast<Thread*>(self)->body();
    return nullptr;
}

void Thread::body() {
    const pid_t id = currentThreadId();
    {
        NameRegistry& names = registry();
        ScopedLock guard(names.mutex);
        if (name_.empty()) name_ = "Thr" + std::to_string(unnamedThreadCount.fetch_add(1));
        names.names[id] = name_;
        self_ = pthread_self();
        threadId_.store(id, std::memory_order_release);
        setOsName(self_, name_);
    }
    try {
        run();
    } catch (const Throwable& error) {
        // An exception leaving a thread would end the process; this one ends only the thread.
        logPrint(CRI, "Thread::run. Uncaught exception %s.\n", error.toString().c_str());
    } catch (const std::exception& error) {
        logPrint(CRI, "Thread::run. Uncaught exception %s.\n", error.what());
    }
    running_.store(false, std::memory_order_release);
    // The entry goes when the thread ends, not at join: the kernel may reuse the id before.
    NameRegistry& names = registry();
    ScopedLock guard(names.mutex);
    names.names.erase(id);
    threadId_.store(-1, std::memory_order_release);
}

}  // namespace kel_util
