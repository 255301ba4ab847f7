#include "kel_sip/syntax/SipLineUnfold.h"

#include <algorithm>
#include <cstring>

namespace kel_sip {

std::string_view unfoldLine(std::string_view line, std::string& scratch) {
    // Two vectorised scans; find_first_of would test every byte against the set one by one.
    if (std::memchr(line.data(), '\r', line.size()) == nullptr && std::memchr(line.data(), '\n', line.size()) == nullptr) {
        return line;
    }
    scratch.assign(line);
    std::replace_if(scratch.begin(), scratch.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return scratch;
}

}  // namespace kel_sip
