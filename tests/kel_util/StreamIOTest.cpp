#include "kel_util/StreamIO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using kel_util::ByteSink;
using kel_util::ByteSource;
using kel_util::readBody;
using kel_util::readLine;
using kel_util::writeAll;

namespace {

// Serves its text in chunks of the given sizes (the last size repeats), then reports close (0)
// or a failure (-1).
class ChunkSource : public ByteSource {
public:
    ChunkSource(std::string text, std::vector<int> chunks, int atEnd = 0)
        : text_(std::move(text)), chunks_(std::move(chunks)), atEnd_(atEnd) {}

    int receive(char* buffer, int length, int) override {
        if (position_ == text_.size()) return atEnd_;
        const int chunk = chunks_[std::min(calls_++, chunks_.size() - 1)];
        const size_t n = std::min({static_cast<size_t>(length), static_cast<size_t>(chunk), text_.size() - position_});
        std::copy_n(text_.data() + position_, n, buffer);
        position_ += n;
        return static_cast<int>(n);
    }

    std::string unread() const { return text_.substr(position_); }

private:
    std::string text_;
    std::vector<int> chunks_;
    int atEnd_;
    size_t calls_ = 0;
    size_t position_ = 0;
};

struct Message {
    std::vector<std::string> lines;
    std::string body;
    bool ok = true;
};

// Reads the header lines up to the empty line, then a body of bodyLength bytes.
Message readMessage(ByteSource& source, char* buffer, int capacity, int& filled, int bodyLength) {
    Message message;
    std::string line;
    for (;;) {
        const int consumed = readLine(source, buffer, capacity, filled, 0, line);
        if (consumed <= 0) {
            message.ok = false;
            return message;
        }
        if (line.empty()) break;
        message.lines.push_back(line);
    }
    message.ok = readBody(message.body, bodyLength, 1024, source, buffer, capacity, filled, 0);
    return message;
}

const std::string kFirst =
    "INVITE sip:b@example.com SIP/2.0\r\n"
    "Via: SIP/2.0/TCP h1\r\n ;branch=z9hG4bK1\r\n"
    "Subject: a\r\n"
    "\r\n"
    "BODY";
const std::string kSecond = "OPTIONS sip:c SIP/2.0\r\nMax-Forwards: 70\r\n\r\n";
const std::vector<std::string> kFirstLines = {"INVITE sip:b@example.com SIP/2.0",
                                              "Via: SIP/2.0/TCP h1\r\n ;branch=z9hG4bK1", "Subject: a"};

void expectBothMessages(ChunkSource& source, const std::string& how) {
    char buffer[128];
    int filled = 0;
    const Message first = readMessage(source, buffer, sizeof buffer, filled, 4);
    EXPECT_TRUE(first.ok) << how;
    EXPECT_EQ(first.lines, kFirstLines) << how;
    EXPECT_EQ(first.body, "BODY") << how;
    const Message second = readMessage(source, buffer, sizeof buffer, filled, 0);
    EXPECT_TRUE(second.ok) << how;
    EXPECT_EQ(second.lines, (std::vector<std::string>{"OPTIONS sip:c SIP/2.0", "Max-Forwards: 70"})) << how;
    EXPECT_EQ(filled, 0) << how;
}

}  // namespace

TEST(StreamIO, ReadsMessagesArrivingWhole) {
    ChunkSource source(kFirst + kSecond, {1000});
    expectBothMessages(source, "whole");
}

TEST(StreamIO, ReadsMessagesArrivingByteByByte) {
    ChunkSource source(kFirst + kSecond, {1});
    expectBothMessages(source, "byte by byte");
}

TEST(StreamIO, ReadsMessagesSplitAtEveryPosition) {
    // Covers a first read that ends on a CR, on its LF and just before a continuation blank.
    const std::string text = kFirst + kSecond;
    for (int cut = 1; cut < static_cast<int>(text.size()); ++cut) {
        ChunkSource source(text, {cut, 1000});
        expectBothMessages(source, "cut at " + std::to_string(cut));
    }
}

TEST(StreamIO, ReadLineAcceptsLoneLineFeeds) {
    ChunkSource source("A: 1\n 2\nB: 3\n\n", {1});
    char buffer[32];
    int filled = 0;
    std::string line;
    EXPECT_EQ(readLine(source, buffer, sizeof buffer, filled, 0, line), 8);
    EXPECT_EQ(line, "A: 1\n 2");
    EXPECT_EQ(readLine(source, buffer, sizeof buffer, filled, 0, line), 5);
    EXPECT_EQ(line, "B: 3");
    EXPECT_EQ(readLine(source, buffer, sizeof buffer, filled, 0, line), 1);
    EXPECT_EQ(line, "");
}

TEST(StreamIO, ReadLineCapturesTheRawBytesWithinItsLimit) {
    ChunkSource source("Via: a\r\n b\r\nX: y\r\n\r\n", {1000});
    char buffer[64];
    int filled = 0;
    std::string line;
    std::string capture;
    EXPECT_EQ(readLine(source, buffer, sizeof buffer, filled, 0, line, &capture, 100), 12);
    EXPECT_EQ(capture, "Via: a\r\n b\r\n");
    EXPECT_EQ(readLine(source, buffer, sizeof buffer, filled, 0, line, &capture, 3), 6);
    EXPECT_EQ(capture, "X: ");
}

TEST(StreamIO, ReadLineReportsCloseFailureAndFullBuffer) {
    char buffer[8];
    int filled = 0;
    std::string line;
    ChunkSource closed("A: 1\r\n", {1000}, 0);
    EXPECT_EQ(readLine(closed, buffer, sizeof buffer, filled, 0, line), 0);

    filled = 0;
    ChunkSource failing("A: 1", {1000}, -1);
    EXPECT_EQ(readLine(failing, buffer, sizeof buffer, filled, 0, line), -2);

    filled = 0;
    ChunkSource tooLong("Subject: much too long\r\n", {1000});
    EXPECT_EQ(readLine(tooLong, buffer, sizeof buffer, filled, 0, line), -1);
    EXPECT_EQ(filled, 8);

    int badFilled = 9;
    EXPECT_EQ(readLine(closed, buffer, sizeof buffer, badFilled, 0, line), -2);
}

TEST(StreamIO, ReadBodyTakesNothingPastTheBody) {
    ChunkSource source("6789NEXT", {1000});
    char buffer[16] = "12345";
    int filled = 5;
    std::string body;
    EXPECT_TRUE(readBody(body, 9, 100, source, buffer, sizeof buffer, filled, 0));
    EXPECT_EQ(body, "123456789");
    EXPECT_EQ(filled, 0);
    EXPECT_EQ(source.unread(), "NEXT");
}

TEST(StreamIO, ReadBodyKeepsTheBufferedSurplus) {
    ChunkSource source("", {1000});
    char buffer[16] = "abcdef";
    int filled = 6;
    std::string body;
    EXPECT_TRUE(readBody(body, 2, 100, source, buffer, sizeof buffer, filled, 0));
    EXPECT_EQ(body, "ab");
    EXPECT_EQ(std::string(buffer, filled), "cdef");
}

TEST(StreamIO, ReadBodyRejectsLengthsOutsideTheLimit) {
    ChunkSource source(std::string(100, 'x'), {1000});
    char buffer[16] = {};
    int filled = 0;
    std::string body;
    EXPECT_FALSE(readBody(body, -1, 100, source, buffer, sizeof buffer, filled, 0));
    EXPECT_FALSE(readBody(body, 101, 100, source, buffer, sizeof buffer, filled, 0));
    EXPECT_EQ(source.unread().size(), 100u);
    EXPECT_TRUE(readBody(body, 100, 100, source, buffer, sizeof buffer, filled, 0));
}

TEST(StreamIO, ReadBodyFailsWhenThePeerClosesEarly) {
    ChunkSource source("abc", {1});
    char buffer[16] = {};
    int filled = 0;
    std::string body;
    EXPECT_FALSE(readBody(body, 5, 100, source, buffer, sizeof buffer, filled, 0));
    EXPECT_EQ(body, "abc");
}

namespace {

// Accepts at most `most` bytes per send, and fails after `budget` bytes.
class SlowSink : public ByteSink {
public:
    SlowSink(int most, size_t budget) : most_(most), budget_(budget) {}
    int send(const char* data, int length, int) override {
        if (received.size() >= budget_) return 0;
        const int n = std::min(length, most_);
        received.append(data, static_cast<size_t>(n));
        return n;
    }
    std::string received;

private:
    int most_;
    size_t budget_;
};

}  // namespace

TEST(StreamIO, WriteAllSendsEveryByteThroughPartialSends) {
    const std::string text = "0123456789abcdef";
    SlowSink sink(3, 1000);
    EXPECT_TRUE(writeAll(text.data(), static_cast<int>(text.size()), sink, 0));
    EXPECT_EQ(sink.received, text);
}

TEST(StreamIO, WriteAllFailsWhenASendFails) {
    const std::string text = "0123456789";
    SlowSink sink(4, 4);
    EXPECT_FALSE(writeAll(text.data(), static_cast<int>(text.size()), sink, 0));
    EXPECT_EQ(sink.received, "0123");
}
