#include "kel_util/HeaderLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kel_util::findCompleteHeaderLine;
using kel_util::findHeaderLine;
using kel_util::findLine;
using kel_util::splitHeaderLine;

namespace {

int size(const std::string& s) { return static_cast<int>(s.size()); }

// The logical lines of a header block up to and without the empty line that ends it.
std::vector<std::string> headerLines(const std::string& text) {
    std::vector<std::string> lines;
    const char* at = text.data();
    const char* end = text.data() + text.size();
    while (at != nullptr) {
        const char* next = nullptr;
        const int length = findHeaderLine(at, static_cast<int>(end - at), next);
        if (length == 0 && next != nullptr) break;
        lines.emplace_back(at, length);
        at = next;
    }
    return lines;
}

struct Split {
    bool ok = false;
    std::string name;
    std::string value;
};

Split split(const std::string& line) {
    std::string_view name;
    std::string_view value;
    Split result;
    result.ok = splitHeaderLine(line.data(), size(line), name, value);
    result.name = name;
    result.value = value;
    return result;
}

}  // namespace

TEST(HeaderLine, FindLineAcceptsEveryLineEnd) {
    const std::string text = "a\r\nb\rc\nd";
    const char* next = nullptr;
    const char* at = text.data();
    std::vector<std::string> lines;
    for (;;) {
        const int length = findLine(at, size(text) - static_cast<int>(at - text.data()), next);
        lines.emplace_back(at, length);
        if (next == nullptr) break;
        at = next;
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c", "d"}));
}

TEST(HeaderLine, FoldedLineKeepsItsEmbeddedLineEnd) {
    const std::string block = "Subject: one\r\n two\r\n\tthree\r\nTo: x\r\n\r\nbody";
    EXPECT_EQ(headerLines(block), (std::vector<std::string>{"Subject: one\r\n two\r\n\tthree", "To: x"}));
}

TEST(HeaderLine, EmptyLineEndsTheBlockAndPointsAtTheBody) {
    const std::string block = "A: 1\n\nbody";
    const char* next = nullptr;
    const int first = findHeaderLine(block.data(), size(block), next);
    EXPECT_EQ(first, 4);
    const int rest = size(block) - static_cast<int>(next - block.data());
    EXPECT_EQ(findHeaderLine(next, rest, next), 0);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(std::string(next), "body");
}

TEST(HeaderLine, EmptyLineIsNeverFoldedIntoTheNextOne) {
    // A blank after an empty line is body, not a continuation.
    const std::string block = "\r\n body";
    const char* next = nullptr;
    EXPECT_EQ(findHeaderLine(block.data(), size(block), next), 0);
    EXPECT_EQ(next, block.data() + 2);
}

TEST(HeaderLine, EndOfRangeAssumesNoContinuation) {
    const std::string line = "A: 1\r\n";
    const char* next = nullptr;
    EXPECT_EQ(findHeaderLine(line.data(), size(line), next), 4);
    EXPECT_EQ(next, line.data() + size(line));
    const std::string unterminated = "A: 1";
    EXPECT_EQ(findHeaderLine(unterminated.data(), size(unterminated), next), 4);
    EXPECT_EQ(next, nullptr);
}

TEST(HeaderLine, FoldedTellsWhetherTheLineHoldsLineEnds) {
    const std::string block = "A: 1\r\nB: 2\r\n 3\rC: 4\r\tx\nD";
    const char* next = nullptr;
    bool folded = true;
    EXPECT_EQ(findHeaderLine(block.data(), size(block), next, &folded), 4);
    EXPECT_FALSE(folded);
    const char* const second = next;
    EXPECT_EQ(findHeaderLine(second, size(block) - static_cast<int>(second - block.data()), next, &folded), 8);
    EXPECT_TRUE(folded);
    const char* const third = next;
    EXPECT_EQ(findHeaderLine(third, size(block) - static_cast<int>(third - block.data()), next, &folded), 7);
    EXPECT_TRUE(folded);
}

TEST(HeaderLine, CompleteLineWaitsForTheBytesThatDecideIt) {
    const char* next = nullptr;
    // A CR at the end may be followed by its LF.
    EXPECT_EQ(findCompleteHeaderLine("A: 1\r", 5, next), -1);
    EXPECT_EQ(next, nullptr);
    // A line end at the end may be followed by a continuation.
    EXPECT_EQ(findCompleteHeaderLine("A: 1\r\n", 6, next), -1);
    EXPECT_EQ(findCompleteHeaderLine("A: 1\r\n ", 7, next), -1);
    EXPECT_EQ(findCompleteHeaderLine("A: 1", 4, next), -1);
    // The byte after the line end decides.
    EXPECT_EQ(findCompleteHeaderLine("A: 1\r\nB", 7, next), 4);
    EXPECT_EQ(findCompleteHeaderLine("A: 1\r\n 2\nB", 11, next), 8);
    // An empty line needs no look-ahead, but its CR still waits for the LF.
    EXPECT_EQ(findCompleteHeaderLine("\r\n", 2, next), 0);
    EXPECT_NE(next, nullptr);
    EXPECT_EQ(findCompleteHeaderLine("\n", 1, next), 0);
    EXPECT_EQ(findCompleteHeaderLine("\r", 1, next), -1);
}

TEST(HeaderLine, SplitTrimsTheNameAndTheValueStart) {
    const Split s = split("Via \t:  SIP/2.0/UDP h ");
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(s.name, "Via");
    EXPECT_EQ(s.value, "SIP/2.0/UDP h ");
    const Split colonInValue = split("To: <sip:a@b:5060>");
    EXPECT_EQ(colonInValue.name, "To");
    EXPECT_EQ(colonInValue.value, "<sip:a@b:5060>");
}

TEST(HeaderLine, SplitOfBlankValueGivesEmptyValue) {
    const Split s = split("Subject:   \t");
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(s.name, "Subject");
    EXPECT_EQ(s.value, "");
}

TEST(HeaderLine, SplitFailsWithoutColonOrName) {
    EXPECT_FALSE(split("no colon here").ok);
    EXPECT_FALSE(split(": value").ok);
    EXPECT_FALSE(split(" \t: value").ok);
    EXPECT_FALSE(split("").ok);
}
