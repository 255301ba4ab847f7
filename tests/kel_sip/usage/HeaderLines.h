// Header blocks for the negotiation tests, written as "Name: value" lines joined by "\n", and
// printed back the same way.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "kel_sip/syntax/HeaderList.h"

namespace kel_sip::test {

// The lines parsed as a header block; a parse failure fails the test.
inline HeaderList headerLines(const std::string& lines) {
    std::string block;
    for (const char c : lines) block += c == '\n' ? std::string("\r\n") : std::string(1, c);
    if (!block.empty()) block += "\r\n";
    HeaderList list;
    EXPECT_TRUE(list.parse(block.data(), static_cast<int>(block.size()), true)) << lines;
    return list;
}

// The headers printed one per line, joined by "\n".
inline std::string printedLines(const HeaderList& list) {
    std::string block;
    list.print(block);
    std::string lines;
    for (const char c : block) {
        if (c != '\r') lines += c;
    }
    if (!lines.empty()) lines.pop_back();
    return lines;
}

}  // namespace kel_sip::test
