// Folding (RFC 3261 section 7.3.1): a line end followed by white space continues a header
// line and means a single space. Received lines are unfolded before anything is stored, so
// no stored value holds a CR or LF that would end a header line early when printed.
#pragma once

#include <string>
#include <string_view>

namespace kel_sip {

// line with every CR and LF turned into a space; scratch holds the copy when one is needed
// (only folded lines are copied).
std::string_view unfoldLine(std::string_view line, std::string& scratch);

}  // namespace kel_sip
