// Digest challenge (WWW-/Proxy-Authenticate) and credentials (Authorization) parse: the first
// byte picks which; a value that parses must print to text that parses to the same value.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "kel_sip/syntax/SipDigestChallenge.h"
#include "kel_sip/syntax/SipDigestResponse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 8192) return 0;
    const char* text = reinterpret_cast<const char*>(data + 1);
    const int length = static_cast<int>(size - 1);
    if (data[0] % 2 == 0) {
        tessaly_fuzz::roundTrip<kel_sip::SipDigestChallenge>("challenge", text, length);
    } else {
        tessaly_fuzz::roundTrip<kel_sip::SipDigestResponse>("response", text, length);
    }
    return 0;
}
