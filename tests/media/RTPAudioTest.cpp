// Two engines talking over loopback, sound devices made of WAV files; a raw UDP socket as
// the peer where the bytes on the wire matter.
#include "media/RTPAudio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <functional>
#include <memory>
#include <thread>

#include "AudioTestSupport.h"
#include "SpanDsp.h"
#include "kel_util/SocketException.h"
#include "media/MulawWavReader.h"
#include "media/RTPPacket.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

using tessaly_test::TempDir;

namespace {

constexpr auto kGenerous = std::chrono::seconds(10);

// Polls state the engine reports (its counters), with a deadline.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = kGenerous) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

AudioDeviceFactory fileDevices(const std::string& in, const std::string& out) {
    AudioDeviceChoice choice;
    choice.kind = AudioDeviceChoice::Kind::File;
    choice.inFile = in;
    choice.outFile = out;
    return AudioDeviceFactory(choice);
}

std::unique_ptr<RTPAudio> openEngine(const AudioDeviceFactory& devices) {
    auto engine = std::make_unique<RTPAudio>(devices);
    EXPECT_TRUE(engine->init(4, 8, 100, 2, 90, 60));
    EXPECT_TRUE(engine->open(0, "127.0.0.1"));
    return engine;
}

// A raw RTP peer: receives what an engine sends, or sends it crafted packets.
class RawPeer {
public:
    RawPeer() {
        kel_util::SocketAddress local;
        local.set(0, "127.0.0.1", AF_INET);
        socket.openAndBind(local);
        port = socket.getLocalAddress().getPort();
    }
    // The next packet's payload; empty on time-out.
    RTPPacket receive() {
        RTPPacket packet;
        kel_util::SocketAddress from;
        const int n = socket.receiveFrom(reinterpret_cast<char*>(packet.getBuffer()), RTPPacket::kBufferSize, from,
                                         kel_util::Socket::Timeout(2000));
        if (n > 0) packet.parse(n);
        return packet;
    }
    void send(const std::string& bytes, int toPort) {
        kel_util::SocketAddress to;
        to.set(toPort, "127.0.0.1", AF_INET);
        socket.sendTo(bytes.data(), static_cast<int>(bytes.size()), to, kel_util::Socket::Timeout(1000));
    }
    void sendRTP(std::uint16_t sequence, std::uint32_t timestamp, int toPort, int payloadType = 0) {
        RTPPacket packet;
        packet.payloadType = payloadType;
        packet.sequenceNumber = sequence;
        packet.timestamp = timestamp;
        packet.ssrc = 0xC0FFEE;
        packet.writeHeader();
        const std::string payload(160, '\x55');
        packet.setPayload(reinterpret_cast<const std::uint8_t*>(payload.data()), 160);
        send(std::string(reinterpret_cast<const char*>(packet.getBuffer()), static_cast<std::size_t>(packet.getLength())),
             toPort);
    }

    kel_util::DatagramSocket socket;
    int port = 0;
};

// Engine a sends to engine b, which plays into b.wav.
class EnginePair : public ::testing::Test {
protected:
    void SetUp() override {
        a = openEngine(aDevices);
        b = openEngine(bDevices);
        ASSERT_TRUE(b->startReceive(0, 100));
        ASSERT_TRUE(b->startPlay(0));
        // The receiver reads what is queued when it starts and drops it: a test's packets count
        // once it has seen a probe (a payload type it notes but never takes).
        RawPeer probe;
        ASSERT_TRUE(waitUntil([&] {
            probe.sendRTP(0, 0, b->getLocalPort(), kProbeType);
            return b->getMediaReport().received.payloadTypes.test(kProbeType);
        }));
    }
    static constexpr int kProbeType = 99;
    void startSending() { ASSERT_TRUE(a->startSend(0, 20, "127.0.0.1", b->getLocalPort())); }
    std::uint64_t received() const { return b->getMediaReport().received.packets; }
    // Waits until b has had n more packets.
    void receiveMore(std::uint64_t n) {
        const std::uint64_t target = received() + n;
        ASSERT_TRUE(waitUntil([&] { return received() >= target; })) << received() << " of " << target;
    }
    // What b played, once its player has stopped.
    std::string played() {
        b->stopPlay();
        const auto samples = MulawWavReader::read(bOut);
        return std::string(samples.begin(), samples.end());
    }
    std::string makeWav(const std::string& name, const std::string& synth) {
        const std::string path = dir.file(name);
        media_test::run("sox -n -r 8000 -c 1 -e u-law '" + path + "' synth " + synth);
        return path;
    }

    TempDir dir;
    std::string bOut = dir.file("b.wav");
    AudioDeviceFactory aDevices = fileDevices(dir.file("none.wav"), dir.file("a.wav"));
    AudioDeviceFactory bDevices = fileDevices(dir.file("none.wav"), bOut);
    std::unique_ptr<RTPAudio> a;
    std::unique_ptr<RTPAudio> b;
};

// The header MulawWavWriter writes before the samples: RIFF, "fmt ", "fact" and "data" heads.
constexpr std::uintmax_t kWavHeader = 12 + 8 + 18 + 8 + 4 + 8;
// Packets a new source loses to its probation (RFC 3550 A.1): the first starts it, the
// second gives the numbering, the third is played.
constexpr std::uint64_t kProbation = 2;

// The frequency of the strongest bin of sox's spectrum (4096-point, 1.95 Hz bins).
double peakFrequency(const std::string& wav) {
    const std::string spectrum = media_test::run("sox '" + wav + "' -n trim 0.2 stat -freq 2>&1");
    double best = 0;
    double bestPower = -1;
    std::istringstream lines(spectrum);
    for (std::string line; std::getline(lines, line);) {
        double frequency = 0;
        double power = 0;
        if (std::sscanf(line.c_str(), "%lf %lf", &frequency, &power) == 2 && power > bestPower) {
            best = frequency;
            bestPower = power;
        }
    }
    return best;
}

// The jitter of RFC 3550 A.8 for transit steps d (ms), in order.
double jitterOf(const std::vector<double>& d) {
    double j = 0;
    for (double x : d) j += (std::abs(x) - j) / 16;
    return j;
}

}  // namespace

// The recording holds the sent file's samples, looped, from where the stream began: packet by
// packet the next piece of the file, or silence where the sender had to skip an interval.
TEST_F(EnginePair, RecordingEqualsTheSentWavFile) {
    const std::string in = makeWav("in.wav", "0.7 sine 300-3000");  // 35 packets
    const auto samples = MulawWavReader::read(in);
    const std::string sent(samples.begin(), samples.end());
    ASSERT_EQ(sent.size(), 35u * 160);
    ASSERT_TRUE(a->startWaveFile(in, false));
    startSending();
    receiveMore(100);  // two seconds: the file almost three times
    const std::string heard = played();
    const std::uint64_t missed = a->getMediaReport().sent.missedIntervals;
    ASSERT_GE(heard.size(), 8000u);
    // The first packet played is the first after the probation.
    std::size_t next = kProbation * 160;
    std::uint64_t gaps = 0;
    const std::string silence(160, '\xFF');
    for (std::size_t at = 0; at + 160 <= heard.size(); at += 160) {
        const std::string slot = heard.substr(at, 160);
        if (slot == sent.substr(next % sent.size(), 160)) {
            next += 160;
        } else {
            ASSERT_EQ(slot, silence) << "at " << at;
            ++gaps;
        }
    }
    EXPECT_LE(gaps, missed);
}

TEST_F(EnginePair, ToneArrivesAtItsFrequency) {
    ASSERT_TRUE(a->startWaveFile(makeWav("tone.wav", "1 sine 1000"), false));
    startSending();
    receiveMore(100);
    played();
    EXPECT_NEAR(peakFrequency(bOut), 1000, 10);
}

// Keys sent one after another, each followed by the return to the (absent) recorder.
TEST_F(EnginePair, DTMFSentInBandIsDetectedInOrder) {
    startSending();
    const std::string keys = "159#0*";
    for (char key : keys) {
        ASSERT_TRUE(a->sendDTMF(key));
        receiveMore(8);
        a->stopDataSend();
        receiveMore(8);
    }
    const std::string heard = played();
    std::vector<std::int16_t> linear;
    for (char c : heard) linear.push_back(ulawToLinear(static_cast<std::uint8_t>(c)));
    dtmf_rx_state_t* detector = dtmf_rx_init(nullptr, nullptr, nullptr);
    dtmf_rx(detector, linear.data(), static_cast<int>(linear.size()));
    char digits[64] = {};
    dtmf_rx_get(detector, digits, sizeof digits - 1);
    dtmf_rx_free(detector);
    EXPECT_EQ(std::string(digits), keys);
}

TEST_F(EnginePair, StartingSendTwiceKeepsOneSequence) {
    startSending();
    receiveMore(10);
    const RTPReceiveReport before = b->getMediaReport().received;
    startSending();
    receiveMore(10);
    const MediaReport after = b->getMediaReport();
    EXPECT_EQ(after.received.ssrc, before.ssrc);
    EXPECT_EQ(after.received.firstArrival, before.firstArrival);
    EXPECT_EQ(after.received.lost, 0u);
    EXPECT_EQ(a->getMediaReport().sent.ssrc, before.ssrc);
}

// Each engine logs its report as one line once its last stream has stopped.
TEST_F(EnginePair, ReportIsLoggedOnceWhenTheStreamsStop) {
    tessaly_test::LogCapture log(kel_util::NOT);
    startSending();
    receiveMore(10);
    a->stopSend();
    b->stopReceive();
    const std::string sent = a->getMediaReport().toString();
    const std::string received = b->getMediaReport().toString();
    const std::string text = log.text();
    const std::string head = "RTPAudio::stop. Media report: ";
    EXPECT_NE(text.find(head + sent + ".\n"), std::string::npos) << text;
    EXPECT_NE(text.find(head + received + ".\n"), std::string::npos) << text;
    EXPECT_NE(received.find("lost=0 duplicated=0 outOfOrder=0"), std::string::npos) << received;
    std::size_t lines = 0;
    for (auto at = text.find(head); at != std::string::npos; at = text.find(head, at + 1)) ++lines;
    EXPECT_EQ(lines, 2u);
}

// When the peer goes quiet the block in hand is played out with silence after it, and the
// receiver takes the next stream at once.
TEST_F(EnginePair, PeerThatStopsGivesSilenceNotAStall) {
    ASSERT_TRUE(a->startWaveFile(makeWav("tone.wav", "1 sine 1000"), false));
    startSending();
    receiveMore(13);  // two blocks and a half
    a->stopSend();
    // Packet slots by timestamp: an interval the sender skipped takes one too.
    const RTPSendReport sent = a->getMediaReport().sent;
    const std::uint64_t slots = sent.packets + sent.missedIntervals - kProbation;
    const std::uint64_t blocks = slots / 5;
    const std::uint64_t rest = (slots % 5) * 160;
    // The receive time-out plays the part block; nothing else is played meanwhile.
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::file_size(bOut) >= kWavHeader + (blocks + 1) * 800; }));
    startSending();
    receiveMore(20);
    const std::string heard = played();
    ASSERT_GT(heard.size(), (blocks + 2) * 800);
    const std::string part = heard.substr(blocks * 800, 800);
    if (rest > 0) {
        EXPECT_NE(part.substr(0, rest).find_first_not_of('\xFF'), std::string::npos);
    }
    EXPECT_EQ(part.substr(rest), std::string(800 - rest, '\xFF'));
    // The second stream follows.
    const std::string next = heard.substr((blocks + 1) * 800, 800);
    EXPECT_NE(next.find_first_not_of('\xFF'), std::string::npos);
}

// Drops, swaps, a duplicate and delays produced on purpose are what the report counts; a
// datagram longer than any packet is dropped whole and the receiver goes on.
TEST_F(EnginePair, ReportCountsWhatATestSenderDid) {
    RawPeer peer;
    const int port = b->getLocalPort();
    // Sent back to back, so each transit step is the timestamp step.
    const std::vector<int> order = {0, 1, 2, 4, 3, 5, 6, 6, 9, 10, 11, 12};  // 7, 8 dropped
    // Longer than any packet, with payload type 18: read cut short it would be seen as RTP.
    std::string tooLong(1600, '\x55');
    tooLong[0] = '\x80';
    tooLong[1] = '\x12';
    peer.send(tooLong, port);
    peer.sendRTP(100, 0, port, 8);  // another payload type: seen, not taken
    for (int n : order) peer.sendRTP(static_cast<std::uint16_t>(65530 + n), 160u * static_cast<std::uint32_t>(n), port);
    ASSERT_TRUE(waitUntil([&] { return received() >= order.size() - kProbation; }))
        << b->getMediaReport().toString();
    const RTPReceiveReport report = b->getMediaReport().received;
    EXPECT_EQ(report.ssrc, 0xC0FFEEu);
    EXPECT_EQ(report.packets, order.size() - kProbation);
    EXPECT_EQ(report.lost, 2u);
    EXPECT_EQ(report.outOfOrder, 1u);
    EXPECT_EQ(report.duplicated, 1u);
    EXPECT_TRUE(report.payloadTypes.test(0));
    EXPECT_TRUE(report.payloadTypes.test(8));
    EXPECT_TRUE(report.payloadTypes.test(kProbeType));
    EXPECT_EQ(report.payloadTypes.count(), 3u);
    // From packet 2 on, the duplicate left out; the arrival times spread by the receiver's
    // scheduling only.
    EXPECT_NEAR(report.jitterMs, jitterOf({40, 20, 40, 20, 60, 20, 20, 20}), 2.0);
}

// Ending a DTMF key with no recorder running leaves silence, not the tone looping on.
TEST(RTPAudio, StopDataSendEndsTheToneWithoutARecorder) {
    TempDir dir;
    const AudioDeviceFactory devices = fileDevices(dir.file("in.wav"), dir.file("out.wav"));
    auto engine = openEngine(devices);
    RawPeer peer;
    ASSERT_TRUE(engine->startSend(0, 20, "127.0.0.1", peer.port));
    ASSERT_TRUE(engine->sendDTMF('5'));
    auto isTone = [](const RTPPacket& p) {
        return p.getPayloadLength() == 160 &&
               std::any_of(p.getPayload(), p.getPayload() + 160, [](std::uint8_t b) { return b != 0xFF; });
    };
    ASSERT_TRUE(waitUntil([&] { return isTone(peer.receive()); }));
    engine->stopDataSend();
    // At most the packet being filled still carries the tone.
    peer.receive();
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(isTone(peer.receive())) << i;
}

// A fast stop and start of the recorder while its device events are still queued touches no
// freed buffer (an event names its buffer by index and the open it belongs to).
TEST(RTPAudio, RecorderRestartsWhileEventsAreQueued) {
    TempDir dir;
    media_test::run("sox -n -r 8000 -c 1 -e u-law '" + dir.file("in.wav") + "' synth 0.5 sine 440");
    const AudioDeviceFactory devices = fileDevices(dir.file("in.wav"), dir.file("out.wav"));
    auto engine = openEngine(devices);
    RawPeer peer;
    ASSERT_TRUE(engine->startSend(0, 20, "127.0.0.1", peer.port));
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(engine->startRecording(0, 20 + 20 * (i % 2)));
    }
    // The recorder still feeds the sender: sound arrives.
    ASSERT_TRUE(waitUntil([&] {
        const RTPPacket p = peer.receive();
        return std::any_of(p.getPayload(), p.getPayload() + p.getPayloadLength(), [](std::uint8_t b) { return b != 0xFF; });
    }));
    engine->close();
}

// A device that never gives its buffers back makes the stop fail after about three seconds.
TEST(RTPAudio, StuckRecorderStopTimesOut) {
    tessaly_test::LogCapture log;
    AudioDeviceChoice stuck;
    stuck.kind = AudioDeviceChoice::Kind::Stuck;
    const AudioDeviceFactory devices(stuck);
    auto engine = openEngine(devices);
    ASSERT_TRUE(engine->startRecording(0, 80));
    const auto start = std::chrono::steady_clock::now();
    engine->stopRecording();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(2900));
    EXPECT_LT(took, std::chrono::seconds(6));
    EXPECT_NE(log.text().find("WaveRecordExt::_stopRecording. Failed to clean WaveRecord, WaveException: [(0) join timeout.]"),
              std::string::npos);
    // The engine goes on: a new recorder starts.
    EXPECT_TRUE(engine->startRecording(0, 80));
}

// A key played locally loops its tone through the player's buffers as they come back, for
// longer than the buffers hold at once.
TEST(RTPAudio, PlayDTMFLoopsTheToneLocally) {
    TempDir dir;
    const std::string out = dir.file("out.wav");
    const AudioDeviceFactory devices = fileDevices(dir.file("in.wav"), out);
    auto engine = openEngine(devices);
    ASSERT_TRUE(engine->startPlay(0));
    ASSERT_TRUE(engine->playDTMF('7'));
    // Eight buffers of 100 ms are 6400 bytes; 12000 need every buffer refilled at least once.
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::file_size(out) >= kWavHeader + 12000; }));
    engine->stopDataPlay();
    engine->stopPlay();
    const auto samples = MulawWavReader::read(out);
    std::vector<std::int16_t> linear;
    for (std::uint8_t c : samples) linear.push_back(ulawToLinear(c));
    dtmf_rx_state_t* detector = dtmf_rx_init(nullptr, nullptr, nullptr);
    dtmf_rx(detector, linear.data(), static_cast<int>(linear.size()));
    linear.assign(800, 0);  // the end of the tone
    dtmf_rx(detector, linear.data(), static_cast<int>(linear.size()));
    char digits[8] = {};
    dtmf_rx_get(detector, digits, sizeof digits - 1);
    dtmf_rx_free(detector);
    EXPECT_EQ(std::string(digits), "7");
}
