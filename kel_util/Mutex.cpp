#include "kel_util/Mutex.h"

#include <unistd.h>

#include "kel_util/Exception.h"
#include "kel_util/Log.h"

namespace kel_util {

pid_t currentThreadId() noexcept {
    thread_local const pid_t id = gettid();
    return id;
}

Mutex::Mutex() {
    pthread_mutexattr_t attributes;
    int result = pthread_mutexattr_init(&attributes);
    if (result == 0) result = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    if (result == 0) result = pthread_mutex_init(&mutex_, &attributes);
    pthread_mutexattr_destroy(&attributes);
    if (result != 0) throw SystemException(result, "Mutex::Mutex");
}

Mutex::~Mutex() {
    if (const int result = pthread_mutex_destroy(&mutex_); result != 0) {
        logPrint(MAJ, "Mutex::~Mutex. %s\n", SystemException(result, "Mutex::~Mutex").toString().c_str());
    }
}

void Mutex::lock() {
    if (const int result = pthread_mutex_lock(&mutex_); result != 0) throw SystemException(result, "Mutex::lock");
    owner_.store(currentThreadId(), std::memory_order_relaxed);
    ++depth_;
}

void Mutex::unlock() {
    if (!heldByCurrentThread()) throw SystemException(EPERM, "Mutex::unlock");
    if (--depth_ == 0) owner_.store(0, std::memory_order_relaxed);
    if (const int result = pthread_mutex_unlock(&mutex_); result != 0) {
        throw SystemException(result, "Mutex::unlock");
    }
}

bool Mutex::heldByCurrentThread() const noexcept {
    return owner_.load(std::memory_order_relaxed) == currentThreadId();
}

int Mutex::depthForCurrentThread() const noexcept { return heldByCurrentThread() ? depth_ : 0; }

}  // namespace kel_util
