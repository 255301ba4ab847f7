#include "kel_sip/syntax/SipLineUnfold.h"

#include <algorithm>

namespace kel_sip {

std::string_view unfoldLine(std::string_view line, std::string& scratch) {
    if (line.find_first_of("\r\n") == std::string_view::npos) return line;
    scratch.assign(line);
    std::replace_if(scratch.begin(), scratch.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return scratch;
}

}  // namespace kel_sip
