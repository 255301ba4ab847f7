#include "kel_util/Random.h"

#include <sys/random.h>

#include <cerrno>
#include <mutex>

#include "kel_util/Exception.h"

namespace kel_util {
namespace {

// A bijection on 32-bit values (the MurmurHash3 finaliser): every input maps to a distinct,
// well-mixed output.
std::uint32_t mix(std::uint32_t x) {
    x ^= x >> 16;
    x *= 0x85ebca6bU;
    x ^= x >> 13;
    x *= 0xc2b2ae35U;
    x ^= x >> 16;
    return x;
}

// Identifiers must not repeat: two equal tags or branches in one process break dialog and
// transaction matching, and 10,000 independent 32-bit draws collide about once in a hundred
// runs. So the engine walks a counter from a random start through a keyed bijection: values
// look random to a peer and none repeats before 2^32 draws.
class IdentifierEngine {
public:
    IdentifierEngine() {
        std::uint32_t seed[2];
        osRandomBytes(seed, sizeof seed);
        counter_ = seed[0];
        key_ = seed[1];
    }

    std::uint32_t next() {
        std::lock_guard<std::mutex> guard(lock_);
        return mix(mix(counter_++) ^ key_);
    }

private:
    std::mutex lock_;
    std::uint32_t counter_;
    std::uint32_t key_;
};

}  // namespace

std::uint32_t randomUInt32() {
    static IdentifierEngine engine;
    return engine.next();
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
