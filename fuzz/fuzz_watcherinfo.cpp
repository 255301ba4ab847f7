// Watcher information reader: any input is read or refused without a fault, and every
// watcher it yields was closed in the document.
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "presence/WatcherInfoParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    WatcherInfoParser parser;
    parser.parse(reinterpret_cast<const char*>(data), static_cast<int>(size));
    // Each watcher needs at least "<watcher/>" of input.
    if (parser.watchers().size() * 10 > size) tessaly_fuzz::reparseFailed("watcherinfo", "", "more watchers than input");
    return 0;
}
