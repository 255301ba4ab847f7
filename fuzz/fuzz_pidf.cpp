// PIDF reader: the tuples of a document that reads, written again, read back the same (a
// priority travels only with a contact).
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "presence/PIDFParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    PIDFParser parser("ts:");
    if (!parser.parse(reinterpret_cast<const char*>(data), static_cast<int>(size))) return 0;
    PresenceInfo expected;
    expected.tuples = parser.info().tuples;
    for (PresenceTupleInfo& tuple : expected.tuples) {
        if (tuple.contact.empty()) tuple.priority = 0;
    }
    const std::string document = expected.write("user", "example.com", "ts:");
    PIDFParser again("ts:");
    if (!again.parse(document.data(), static_cast<int>(document.size()))) {
        tessaly_fuzz::reparseFailed("pidf", document, "");
    }
    if (again.info().tuples != expected.tuples) tessaly_fuzz::reparseFailed("pidf", document, "tuples differ");
    return 0;
}
