#include "phone/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

std::string InstanceLock::defaultPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') return std::string(runtime) + "/tessaly.lock";
    return "/tmp/tessaly-" + std::to_string(::getuid()) + ".lock";
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) ::close(fd_);
}

InstanceLock::Result InstanceLock::acquire(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return Result::Failed;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int code = errno;
        ::close(fd);
        if (code == EWOULDBLOCK) return Result::HeldElsewhere;
        error = "cannot lock " + path + ": " + std::strerror(code);
        return Result::Failed;
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    return Result::Acquired;
}
