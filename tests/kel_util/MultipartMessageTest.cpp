#include "kel_util/MultipartMessage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

using kel_util::MultipartMessage;

namespace {

std::string readFile(const std::string& name) {
    std::ifstream in(std::string(TESSALY_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The same depth-first listing that make_multipart.py writes from Python's parser.
void describe(const MultipartMessage& entity, int depth, std::string& out) {
    std::string kind = entity.contentType.type + "/" + entity.contentType.subType;
    for (char& c : kind) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    out += std::to_string(depth) + " " + kind;
    if (entity.contentType.isMultipart()) {
        out += " parts " + std::to_string(entity.parts.size()) + "\n";
        for (const MultipartMessage& part : entity.parts) describe(part, depth + 1, out);
    } else {
        out += " body " + std::to_string(entity.body.size()) + "\n" + entity.body + "\n";
    }
}

bool parse(MultipartMessage& message, const std::string& text) {
    return message.parse(text.data(), static_cast<int>(text.size()));
}

const std::string kHeader = "Content-Type: multipart/mixed; boundary=b1\r\n\r\n";

}  // namespace

TEST(MultipartMessage, ParsesBodiesWrittenByPythonsEmailPackageAsPythonDoes) {
    for (const std::string name : {"multipart_crlf", "multipart_lf"}) {
        MultipartMessage message;
        ASSERT_TRUE(parse(message, readFile(name + ".eml"))) << name;
        std::string ours;
        describe(message, 0, ours);
        EXPECT_EQ(ours, readFile(name + ".expected")) << name;
        EXPECT_EQ(message.contentType.boundary, "===============4242424242424242424==") << name;
        ASSERT_NE(message.contentType.findParameter("type"), nullptr);
        EXPECT_EQ(message.contentType.findParameter("type")->value, "\"application/pidf+xml\"") << name;
        ASSERT_EQ(message.parts.size(), 3u) << name;
        const std::string* id = message.parts[0].headers.getValue("content-id", kel_util::RFC822ValueList::First);
        ASSERT_NE(id, nullptr);
        EXPECT_EQ(*id, "<pidf@example.com>");
    }
}

TEST(MultipartMessage, PartBodiesExcludeTheLineEndBeforeTheDelimiter) {
    MultipartMessage message;
    ASSERT_TRUE(parse(message, kHeader + "--b1\r\nc: text/plain\r\n\r\nline one\r\nline two\r\n--b1\r\n\r\n\r\n--b1--\r\n"));
    ASSERT_EQ(message.parts.size(), 2u);
    EXPECT_EQ(message.parts[0].contentType.subType, "plain");
    EXPECT_EQ(message.parts[0].body, "line one\r\nline two");
    // A part of no headers whose body is one empty line.
    EXPECT_EQ(message.parts[1].body, "");
    EXPECT_TRUE(message.parts[1].headers.empty());
}

TEST(MultipartMessage, PreambleAndEpilogueAreIgnored) {
    MultipartMessage message;
    ASSERT_TRUE(parse(message, kHeader + "preamble\r\n--b1 text\r\n--b1\r\n\r\nA\r\n--b1--\r\nepilogue\r\n"));
    ASSERT_EQ(message.parts.size(), 1u);
    EXPECT_EQ(message.parts[0].body, "A");
}

TEST(MultipartMessage, NestedMultipartParsesRecursively) {
    const std::string inner = "Content-Type: multipart/alternative;boundary=\"b2\"\r\n\r\n"
                              "--b2\r\nContent-Type: text/plain\r\n\r\nplain\r\n--b2\r\nContent-Type: text/html\r\n\r\n<b>x</b>\r\n--b2--";
    MultipartMessage message;
    ASSERT_TRUE(parse(message, kHeader + "--b1\r\n" + inner + "\r\n--b1\r\n\r\nlast\r\n--b1--"));
    ASSERT_EQ(message.parts.size(), 2u);
    ASSERT_EQ(message.parts[0].parts.size(), 2u);
    EXPECT_EQ(message.parts[0].parts[1].contentType.subType, "html");
    EXPECT_EQ(message.parts[0].parts[1].body, "<b>x</b>");
    EXPECT_EQ(message.parts[1].body, "last");
    MultipartMessage copy = message;
    message.parts[0].parts.clear();
    EXPECT_EQ(copy.parts[0].parts[0].body, "plain");
}

TEST(MultipartMessage, DelimiterMayCarryTransportPadding) {
    MultipartMessage message;
    ASSERT_TRUE(parse(message, kHeader + "--b1 \t\r\n\r\nA\r\n--b1-- \r\n"));
    ASSERT_EQ(message.parts.size(), 1u);
    EXPECT_EQ(message.parts[0].body, "A");
}

TEST(MultipartMessage, MissingDelimitersFail) {
    MultipartMessage message;
    EXPECT_FALSE(parse(message, kHeader + "no delimiter at all\r\n"));
    // Boundary compared byte for byte.
    EXPECT_FALSE(parse(message, kHeader + "--B1\r\n\r\nA\r\n--B1--\r\n"));
    // A body cut off before its closing delimiter would lose its last part.
    EXPECT_FALSE(parse(message, kHeader + "--b1\r\n\r\nA\r\n--b1\r\n\r\nB\r\n"));
    EXPECT_FALSE(parse(message, "Content-Type: multipart/mixed\r\n\r\n--\r\n\r\nA\r\n----\r\n"));
}

TEST(MultipartMessage, BadPartOrContentTypeFailsTheWhole) {
    MultipartMessage message;
    EXPECT_FALSE(parse(message, "Content-Type: text\r\n\r\nbody"));
    EXPECT_FALSE(parse(message, kHeader + "--b1\r\nContent-Type: /x\r\n\r\nA\r\n--b1--"));
}

TEST(MultipartMessage, NonMultipartKeepsTheWholeBody) {
    MultipartMessage message;
    const std::string body = std::string("bin\0\r\n--b1--\r\n", 14);
    ASSERT_TRUE(parse(message, "Content-Type: application/octet-stream\r\nX-A: 1\r\n\r\n" + body));
    EXPECT_EQ(message.body, body);
    EXPECT_EQ(*message.headers.getValue("x-a", kel_util::RFC822ValueList::First), "1");
}

TEST(MultipartMessage, RangeEndingInsideTheHeadersGivesAnEmptyBody) {
    MultipartMessage message;
    ASSERT_TRUE(parse(message, "Content-Type: text/plain\r\nX-A: 1"));
    EXPECT_EQ(message.contentType.type, "text");
    EXPECT_NE(message.headers.find("X-A"), nullptr);
    EXPECT_EQ(message.body, "");
}

TEST(MultipartMessage, NestingBeyondTheLimitFails) {
    // Each level opens a multipart part of its own; the innermost holds a text.
    auto nested = [](int levels) {
        std::string text = "c: text/plain\r\n\r\nleaf";
        for (int level = levels; level > 0; --level) {
            const std::string b = "b" + std::to_string(level);
            text = "c: multipart/mixed; boundary=" + b + "\r\n\r\n--" + b + "\r\n" + text + "\r\n--" + b + "--";
        }
        return text;
    };
    MultipartMessage message;
    EXPECT_TRUE(parse(message, nested(MultipartMessage::kMaxDepth)));
    EXPECT_FALSE(parse(message, nested(MultipartMessage::kMaxDepth + 1)));
    EXPECT_FALSE(parse(message, nested(100000 / 40)));
}
