#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "SipCorpus.h"
#include "SipTestMessages.h"

using namespace kel_sip;
using namespace kel_sip::test;

namespace {

// Hands out scripted chunks, one per receive (a chunk larger than the request is split).
// A chunk of kFail makes a receive fail; when the script ends the peer has closed.
class ScriptedSource : public kel_util::ByteSource {
public:
    static inline const std::string kFail = "\x01<fail>";

    explicit ScriptedSource(std::vector<std::string> chunks) : chunks_(chunks.begin(), chunks.end()) {}

    int receive(char* buffer, int length, int) override {
        ++receives;
        if (chunks_.empty()) return 0;
        if (chunks_.front() == kFail) {
            chunks_.pop_front();
            return -1;
        }
        std::string& chunk = chunks_.front();
        const int n = std::min(length, static_cast<int>(chunk.size()));
        std::copy_n(chunk.data(), n, buffer);
        chunk.erase(0, static_cast<size_t>(n));
        if (chunk.empty()) chunks_.pop_front();
        return n;
    }

    int receives = 0;

private:
    std::deque<std::string> chunks_;
};

class CollectingSink : public kel_util::ByteSink {
public:
    explicit CollectingSink(int maxPerSend, int failAfter = -1) : maxPerSend_(maxPerSend), failAfter_(failAfter) {}
    int send(const char* data, int length, int) override {
        if (failAfter_ >= 0 && static_cast<int>(bytes.size()) >= failAfter_) return -1;
        const int n = std::min(length, maxPerSend_);
        bytes.append(data, static_cast<size_t>(n));
        return n;
    }
    std::string bytes;

private:
    int maxPerSend_;
    int failAfter_;
};

struct Reader {
    explicit Reader(int capacity = 4096) : buffer(static_cast<size_t>(capacity)) {}
    int read(kel_util::ByteSource& source, SipMessageExt& message, int maxContentLength = 1 << 20) {
        return message.readFrom(source, buffer.data(), static_cast<int>(buffer.size()), filled, 0, reason, &capture,
                                1 << 16, maxContentLength);
    }
    std::vector<char> buffer;
    int filled = 0;
    std::string reason;
    std::string capture;
};

const std::string kFolded = wire({"MESSAGE sip:b@y SIP/2.0", "Via: SIP/2.0/TCP 192.0.2.1;branch=z9hG4bK1",
                                  "Subject: first part,", "  second part", "From: <sip:a@x>;tag=1", "To: <sip:b@y>",
                                  "Call-ID: c1", "CSeq: 1 MESSAGE", "Content-Length: 5"},
                                 "Hello");

std::string datagramPrint(const std::string& text) {
    SipMessageExt message;
    std::string reason;
    EXPECT_TRUE(message.parse(text.data(), static_cast<int>(text.size()), reason)) << reason;
    return message.toString();
}

}  // namespace

TEST(SipMessageStream, OddSplitsReadTheSameMessage) {
    const size_t startLineSplit = 7;
    const size_t foldSplit = kFolded.find("  second");
    const size_t bodySplit = kFolded.find("Hello");
    const std::vector<std::vector<std::string>> scripts = {
        {kFolded},
        {kFolded.substr(0, startLineSplit), kFolded.substr(startLineSplit)},
        {kFolded.substr(0, foldSplit - 1), kFolded.substr(foldSplit - 1)},  // between CR LF and the fold
        {kFolded.substr(0, foldSplit), kFolded.substr(foldSplit)},
        {kFolded.substr(0, bodySplit), kFolded.substr(bodySplit, 2), kFolded.substr(bodySplit + 2)},
    };
    for (const auto& script : scripts) {
        ScriptedSource source(script);
        Reader reader;
        SipMessageExt message;
        ASSERT_EQ(reader.read(source, message), static_cast<int>(kFolded.size())) << reader.reason;
        EXPECT_EQ(message.toString(), datagramPrint(kFolded));
        EXPECT_EQ(reader.capture, kFolded);
        EXPECT_EQ(reader.filled, 0);
    }
    // One byte per receive.
    std::vector<std::string> bytes;
    for (char c : kFolded) bytes.emplace_back(1, c);
    ScriptedSource source(bytes);
    Reader reader;
    SipMessageExt message;
    EXPECT_EQ(reader.read(source, message), static_cast<int>(kFolded.size()));
    EXPECT_EQ(message.body.view(), "Hello");
}

TEST(SipMessageStream, KeepAlivesAndTwoMessagesInOneRead) {
    ScriptedSource source({"\r\n\r\n" + kFolded + "\r\n" + kFolded});
    Reader reader;
    SipMessageExt message;
    EXPECT_EQ(reader.read(source, message), SipMessage::ReadKeepAlive);
    EXPECT_EQ(reader.read(source, message), SipMessage::ReadKeepAlive);
    EXPECT_EQ(reader.read(source, message), static_cast<int>(kFolded.size()));
    EXPECT_EQ(reader.read(source, message), SipMessage::ReadKeepAlive);
    reader.capture.clear();
    EXPECT_EQ(reader.read(source, message), static_cast<int>(kFolded.size()));
    EXPECT_EQ(message.callId, "c1");
    EXPECT_EQ(reader.capture, kFolded);
    EXPECT_EQ(reader.read(source, message), SipMessage::ReadClosed);
}

TEST(SipMessageStream, FailuresAreToldApart) {
    {
        // A receive that fails before any byte: nothing is lost, the caller may wait again.
        ScriptedSource source({ScriptedSource::kFail, kFolded});
        Reader reader;
        SipMessageExt message;
        EXPECT_EQ(reader.read(source, message), SipMessage::ReadNoStartLine);
        EXPECT_EQ(reader.read(source, message), static_cast<int>(kFolded.size()));
    }
    {
        // A failure inside the header block is not a keep-alive: the stream is out of step.
        ScriptedSource source({kFolded.substr(0, 60), ScriptedSource::kFail, kFolded.substr(60)});
        Reader reader;
        SipMessageExt message;
        EXPECT_EQ(reader.read(source, message), SipMessage::ReadBroken);
    }
    {
        ScriptedSource source({kFolded.substr(0, kFolded.size() - 2)});
        Reader reader;
        SipMessageExt message;
        EXPECT_EQ(reader.read(source, message), SipMessage::ReadBroken);
        EXPECT_EQ(reader.reason, "message cut off in the body");
    }
    {
        ScriptedSource source({"INVITE sip:b@y SIP/2.0\r\nVia: SIP/2.0/TCP h;branch=z9hG4bK1\r\n"});
        Reader reader;
        SipMessageExt message;
        EXPECT_EQ(reader.read(source, message), SipMessage::ReadBroken);
    }
    {
        // Header lines without end are cut off instead of growing the message.
        std::string endless = "OPTIONS sip:b@y SIP/2.0\r\n";
        while (endless.size() < 70000) endless += "X-Filler: 0123456789012345678901234567890123456789\r\n";
        ScriptedSource source({endless});
        Reader reader;
        SipMessageExt message;
        EXPECT_EQ(reader.read(source, message), SipMessage::ReadInvalid);
        EXPECT_EQ(reader.reason, "header too long");
    }
    {
        ScriptedSource source({std::string(300, 'A')});
        Reader reader(128);
        SipMessageExt message;
        EXPECT_EQ(reader.read(source, message), SipMessage::ReadBufferFull);
    }
    {
        ScriptedSource source({"SIP/2.0 200\r\nCall-ID: x\r\n\r\n"});
        Reader reader;
        SipMessageExt message;
        EXPECT_EQ(reader.read(source, message), SipMessage::ReadInvalid);
        EXPECT_EQ(reader.reason, "invalid first line, (no reason phrase)");
    }
}

TEST(SipMessageStream, ContentLengthIsCheckedBeforeAnyBodyIsRead) {
    for (const char* value : {"-5", "12x", "2000", "99999999999999999999"}) {
        std::string text = kFolded;
        text.replace(text.find("Content-Length: 5"), 17, std::string("Content-Length: ") + value);
        ScriptedSource source({text});
        Reader reader;
        SipMessageExt message;
        EXPECT_EQ(reader.read(source, message, 1000), SipMessage::ReadInvalid) << value;
        EXPECT_EQ(reader.reason, "invalid Content-Length") << value;
        // The body was not waited for: only the one chunk was received.
        EXPECT_EQ(source.receives, 1) << value;
    }
}

TEST(SipMessageStream, WriteToSendsWholeMessageThroughShortSends) {
    SipMessageExt message = parsed(kFolded);
    CollectingSink sink(7);
    std::string capture;
    const int sent = message.writeTo(sink, 0, &capture, 1 << 16);
    EXPECT_EQ(sent, static_cast<int>(sink.bytes.size()));
    EXPECT_EQ(sink.bytes, message.toString());
    EXPECT_EQ(capture, sink.bytes);
    std::string limited;
    CollectingSink again(1000);
    message.writeTo(again, 0, &limited, 10);
    EXPECT_EQ(limited, again.bytes.substr(0, 10));
    CollectingSink failing(1000, 20);
    EXPECT_EQ(message.writeTo(failing, 0), 0);
}

TEST(SipMessageStream, CorpusReadsFromAStreamAsFromADatagram) {
    std::string stream;
    const auto corpus = loadCorpus();
    for (const auto& [name, bytes] : corpus) stream += bytes;
    std::vector<std::string> chunks;
    for (size_t i = 0; i < stream.size(); i += 97) chunks.push_back(stream.substr(i, 97));
    ScriptedSource source(chunks);
    Reader reader;
    for (const auto& [name, bytes] : corpus) {
        SipMessageExt message;
        ASSERT_EQ(reader.read(source, message), static_cast<int>(bytes.size())) << name << ": " << reader.reason;
        EXPECT_EQ(message.toString(), datagramPrint(bytes)) << name;
    }
}
