// WAV reading from memory: whatever the bytes, the reader returns nothing or sound that lies
// inside them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "media/MMIO.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto sound = MMIO::getWaveData(data, size, 0);
    if (sound && (sound->empty() || sound->size() + 44 > size)) {
        std::fprintf(stderr, "sound of %zu bytes from a file of %zu\n", sound->size(), size);
        std::abort();
    }
    return 0;
}
