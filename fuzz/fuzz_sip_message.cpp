// Whole-message parse (datagram form), validate, and print-then-reparse: a message that
// parses must print to text that parses to an equal message.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "kel_sip/syntax/SipContactList.h"
#include "kel_sip/syntax/SipMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    kel_sip::SipMessage message;
    std::string reason;
    if (!message.parse(reinterpret_cast<const char*>(data), static_cast<int>(size), reason)) return 0;
    int status = 0;
    message.validate(reason, status);
    std::vector<kel_sip::SipContact> contacts;
    message.getContacts(contacts, kel_sip::SipContactOptions{true, false, true});

    const std::string first = message.toString();
    kel_sip::SipMessage again;
    if (!again.parse(first.data(), static_cast<int>(first.size()), reason)) {
        tessaly_fuzz::reparseFailed("message", first, reason);
    }
    tessaly_fuzz::requireSame("message", first, again.toString());
    return 0;
}
