// XML walk: a document that reads must print to text that reads to the same tree again, and
// the search must visit a finite number of elements.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "kel_util/NodeXMLParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    kel_util::NodeXMLParser parser;
    if (!parser.parse(reinterpret_cast<const char*>(data), static_cast<int>(size))) return 0;
    if (parser.root() == nullptr) tessaly_fuzz::reparseFailed("xml", "", "a document that reads has a root");
    std::string first;
    parser.root()->print(first);
    const std::string name = parser.root()->getChildren().empty() ? parser.root()->name
                                                                   : parser.root()->getChildren().back()->name;
    size_t found = 0;
    for (auto* node = parser.find(name, false); node != nullptr; node = parser.find(name, true)) {
        if (++found > size) tessaly_fuzz::reparseFailed("xml", first, "find with continueFromLast does not end");
    }
    kel_util::NodeXMLParser again;
    if (!again.parse(first.data(), static_cast<int>(first.size()))) tessaly_fuzz::reparseFailed("xml", first, "");
    std::string second;
    again.root()->print(second);
    tessaly_fuzz::requireSame("xml", first, second);
    return 0;
}
