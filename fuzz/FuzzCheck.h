// What every fuzz target shares: round-trip checks that stop the run with both texts when
// printing something that parsed does not give text that parses to the same thing again.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "kel_sip/syntax/SipParseException.h"

namespace tessaly_fuzz {

// The second print of a value must equal the first: printing is a fixed point after one
// parse, so a difference means the printed form lost or changed something.
inline void requireSame(const char* what, const std::string& first, const std::string& second) {
    if (first == second) return;
    std::fprintf(stderr, "%s: print -> parse -> print differs\n--- first (%zu bytes)\n%s\n--- second (%zu bytes)\n%s\n",
                 what, first.size(), first.c_str(), second.size(), second.c_str());
    std::abort();
}

[[noreturn]] inline void reparseFailed(const char* what, const std::string& printed, const std::string& reason) {
    std::fprintf(stderr, "%s: printed text does not parse again (%s)\n%s\n", what, reason.c_str(), printed.c_str());
    std::abort();
}

// Parses a header value class (a SipParam); when it parses, its printed form must parse and
// print the same again.
template <typename Value>
void roundTrip(const char* what, const char* data, int length) {
    Value value;
    try {
        value.parse(data, length, true);
    } catch (const kel_sip::SipParseException&) {
        return;
    }
    if (value.empty()) return;  // an empty value prints nothing, by design
    const std::string first = value.toString();
    Value again;
    try {
        again.parse(first.data(), static_cast<int>(first.size()), true);
    } catch (const kel_sip::SipParseException& error) {
        reparseFailed(what, first, error.what());
    }
    requireSame(what, first, again.toString());
}

}  // namespace tessaly_fuzz
