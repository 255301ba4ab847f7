// Line scanners over a byte range of RFC 822 text (RFC 822 section 3.1, RFC 3261 section 7.3.1).
// They never copy and need no terminating NUL. A line end is CR LF, a lone CR or a lone LF.
#pragma once

#include <string_view>

namespace kel_util {

// Length of the physical line at data (up to the first CR or LF). next receives the start of
// the following line, or null when the range ended without a line end.
int findLine(const char* data, int count, const char*& next);

// Length of the logical header line at data. A line end followed by SP or HT continues a
// non-empty line (folding); the length then covers the embedded line ends and the leading
// white space of the continuation. An empty line gives 0 with next behind it (the end of a
// header block). next is null when the range ended without a line end; at the end of the
// range no continuation is assumed. folded, when given, tells whether the line was continued,
// that is whether it holds line ends, so a caller can skip unfolding the usual unfolded line.
int findHeaderLine(const char* data, int count, const char*& next, bool* folded = nullptr);

// As findHeaderLine for bytes that may still grow (a receive buffer): -1 (next null) when the
// line cannot be judged yet, that is when it has no line end, when a CR is the last byte (its
// LF may follow) or when a non-empty line ends at the last byte (a continuation may follow).
int findCompleteHeaderLine(const char* data, int count, const char*& next);

// Splits a logical header line at its first colon: name is the text before it without
// trailing white space, value starts at the first non-white byte after it and runs to the end
// (trailing white space stays). False when there is no colon or the name is empty or blank.
// Both views point into data.
bool splitHeaderLine(const char* data, int count, std::string_view& name, std::string_view& value);

}  // namespace kel_util
