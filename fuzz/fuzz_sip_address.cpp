// URI and address parse: the first byte picks SipURI, SipAddress, SipFromTo or SipContact; the
// rest is the value. A value that parses must print to text that parses to the same value.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "kel_sip/syntax/SipAddress.h"
#include "kel_sip/syntax/SipContact.h"
#include "kel_sip/syntax/SipFromTo.h"
#include "kel_sip/syntax/SipURI.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 8192) return 0;
    const char* text = reinterpret_cast<const char*>(data + 1);
    const int length = static_cast<int>(size - 1);
    switch (data[0] % 4) {
        case 0: tessaly_fuzz::roundTrip<kel_sip::SipURI>("uri", text, length); break;
        case 1: tessaly_fuzz::roundTrip<kel_sip::SipAddress>("address", text, length); break;
        case 2: tessaly_fuzz::roundTrip<kel_sip::SipFromTo>("from/to", text, length); break;
        default: tessaly_fuzz::roundTrip<kel_sip::SipContact>("contact", text, length); break;
    }
    return 0;
}
