// Extended PIDF reader: what a document yields, written again, reads back the same (a
// priority travels only with a contact).
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "presence/PIMPIDFParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    PIMPIDFParser parser("ts:", "");
    if (!parser.parse(reinterpret_cast<const char*>(data), static_cast<int>(size))) return 0;
    PIMPresenceInfo expected = parser.info();
    if (expected.contact.empty()) expected.priority = 0;
    const std::string document = expected.write(expected.entity, "ts:");
    PIMPIDFParser again("ts:", std::string(PIMPresenceInfo::kDefaultTupleId));
    if (!again.parse(document.data(), static_cast<int>(document.size()))) {
        tessaly_fuzz::reparseFailed("pim_pidf", document, "");
    }
    if (!(again.info() == expected)) tessaly_fuzz::reparseFailed("pim_pidf", document, "fields differ");
    return 0;
}
