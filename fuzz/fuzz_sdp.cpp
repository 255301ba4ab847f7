// SDP parse: a description that parses must print to text that parses to the same description.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "kel_sip/syntax/SDP.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    kel_sip::SDP sdp;
    if (!sdp.parse(reinterpret_cast<const char*>(data), static_cast<int>(size))) return 0;
    const std::string first = sdp.toString();
    kel_sip::SDP again;
    if (!again.parse(first.data(), static_cast<int>(first.size()))) tessaly_fuzz::reparseFailed("sdp", first, "");
    tessaly_fuzz::requireSame("sdp", first, again.toString());
    return 0;
}
