#include "kel_util/Random.h"

#include <sys/random.h>

#include <cerrno>
#include <mutex>
#include <random>

#include "kel_util/Exception.h"

namespace kel_util {
namespace {

std::mt19937& engine() {
    static std::mt19937 instance = [] {
        std::uint32_t seed[8];
        osRandomBytes(seed, sizeof seed);
        std::seed_seq sequence(std::begin(seed), std::end(seed));
        return std::mt19937(sequence);
    }();
    return instance;
}

std::mutex engineLock;

}  // namespace

std::uint32_t randomUInt32() {
    std::lock_guard<std::mutex> guard(engineLock);
    return static_cast<std::uint32_t>(engine()());
}

void osRandomBytes(void* buffer, std::size_t length) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (length > 0) {
        const ssize_t got = getrandom(bytes, length, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw SystemException("osRandomBytes, getrandom");
        }
        bytes += got;
        length -= static_cast<std::size_t>(got);
    }
}

}  // namespace kel_util
