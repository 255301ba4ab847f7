#include "kel_util/RFC822Message.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using kel_util::ContentBuff;
using kel_util::RFC822Message;

TEST(ContentBuff, KeepsBinaryBytesWithATrailingNul) {
    const char bytes[] = {'a', '\0', 'b'};
    ContentBuff body(bytes, 3);
    EXPECT_EQ(body.getLength(), 3);
    EXPECT_EQ(std::memcmp(body.getData(), bytes, 3), 0);
    EXPECT_EQ(body.getData()[3], '\0');
    ContentBuff copy = body;
    body.clear();
    EXPECT_EQ(copy.getLength(), 3);
    EXPECT_EQ(body.getLength(), 0);
    body.set(nullptr, 5);
    EXPECT_TRUE(body.empty());
}

TEST(RFC822Message, PrintsHeadersContentTypeLengthAndBody) {
    RFC822Message message;
    message.startLine = "MESSAGE sip:a@b SIP/2.0";
    message.headers.addValue("X-A", "1");
    message.headers.addValue("x-a", "2");
    message.contentType = "text/plain";
    message.setBody("hi\0!", 4);
    const std::string expected =
        "MESSAGE sip:a@b SIP/2.0\r\nX-A: 1\r\nX-A: 2\r\nContent-Type: text/plain\r\nContent-Length: 4\r\n\r\n" +
        std::string("hi\0!", 4);
    EXPECT_EQ(message.toString(), expected);
}

TEST(RFC822Message, EmptyBodyStillPrintsContentLengthZero) {
    RFC822Message message;
    message.startLine = "HTTP/1.1 200 OK";
    EXPECT_EQ(message.toString(), "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
}

TEST(RFC822Message, ClearEmptiesEveryPart) {
    RFC822Message message;
    message.startLine = "x";
    message.headers.addValue("A", "1");
    message.contentType = "text/plain";
    message.setBody("b", 1);
    RFC822Message copy = message;
    message.clear();
    EXPECT_EQ(message.toString(), "\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(copy.toString(), "x\r\nA: 1\r\nContent-Type: text/plain\r\nContent-Length: 1\r\n\r\nb");
}
