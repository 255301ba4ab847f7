// Keeps the program to a single instance: an exclusive flock on a lock file. The lock lives as
// long as this object (or the process) and is never left behind by a crash, because the kernel
// drops it with the descriptor.
#pragma once

#include <string>

class InstanceLock {
public:
    // The lock file of the current user: "$XDG_RUNTIME_DIR/tessaly.lock", or
    // "/tmp/tessaly-<uid>.lock" when XDG_RUNTIME_DIR is unset or empty.
    static std::string defaultPath();

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    enum class Result { Acquired, HeldElsewhere, Failed };
    // Opens (creating) path and takes the lock without waiting. HeldElsewhere when another
    // instance holds it; Failed, with error set, when the file cannot be opened or locked.
    Result acquire(const std::string& path, std::string& error);

private:
    int fd_ = -1;
};
