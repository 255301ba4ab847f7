#include "kel_util/HeapReturner.h"

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace {

long residentKib() {
    long pages = 0, resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) return -1;
    const int read = std::fscanf(statm, "%ld %ld", &pages, &resident);
    std::fclose(statm);
    return read == 2 ? resident * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

TEST(HeapReturner, TrimsOnlyAHeapThatLiesMostlyFree) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer runtime keeps a heap of its own";
#endif
    kel_util::HeapReturner returner(60000, 8u << 20);
    // 64 MiB of small blocks, as transactions leave them: freeing all but every 256th one
    // leaves the heap's top pinned, so free() alone gives nothing back.
    std::vector<std::unique_ptr<char[]>> blocks(128 * 1024);
    for (auto& block : blocks) {
        block = std::make_unique<char[]>(512);
        block[0] = 1;
    }
    EXPECT_FALSE(returner.returnFreedPages()) << "a heap in use is left alone";

    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (i % 256 != 0) blocks[i].reset();
    }
    const long before = residentKib();
    EXPECT_TRUE(returner.returnFreedPages());
    const long after = residentKib();
    EXPECT_LT(after, before - 32 * 1024) << "RSS " << before << " KiB before the trim, " << after << " after";
    EXPECT_FALSE(returner.returnFreedPages()) << "nothing left to give back";
}

}  // namespace
