// Send pacing of the audio engine: one engine sends a 1 kHz tone to a second on loopback for
// a while (30 s by default); tshark captures the stream on the loopback interface and its RTP
// stream analysis gives the packet deltas and the RFC 3550 jitter seen on the wire. Then, in the
// same run, baresip sends the same tone from a WAV file (its aufile source) in a call to a SIPp
// answering side whose SDP points at the same kind of sink, captured and analysed the same way.
// Prints the figures of both, the receiving engine's media report and the CPU used per engine,
// and ends with "tessaly/baresip mean jitter = X.XX". Run it on an idle machine: a busy one
// measures the scheduler.
//
//   build/bench/bench_rtp_pacing [seconds]
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "media/G711.h"
#include "media/MulawWavWriter.h"
#include "media/RTPAudio.h"

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string writeTone(const std::string& path) {
    MulawWavWriter writer;
    writer.open(path);
    std::uint8_t samples[8000];
    for (int i = 0; i < 8000; ++i) {
        samples[i] = linearToUlaw(static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 1000 * i / 8000.0)));
    }
    writer.append(samples, sizeof samples);
    writer.close();
    return path;
}

// The figures of tshark's RTP stream analysis for one stream.
struct WireFigures {
    long packets = 0;
    long lost = 0;
    double minDelta = 0;
    double meanDelta = 0;
    double maxDelta = 0;
    double meanJitter = 0;
};

pid_t spawn(const std::vector<std::string>& args) {
    std::fflush(stdout);  // else the child's copy of the buffer is printed again
    const pid_t child = fork();
    if (child == 0) {
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        std::vector<char*> argv;
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

void stop(pid_t child, int signal) {
    if (child <= 0) return;
    kill(child, signal);
    waitpid(child, nullptr, 0);
}

bool installed(const char* program) {
    return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

// A UDP port on loopback that was free a moment ago.
int freePort() {
    const int probe = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    close(probe);
    return ntohs(address.sin_port);
}

// Starts tshark capturing the UDP port into file, and gives it a moment to listen.
pid_t startCapture(int port, const std::string& file) {
    const pid_t child = spawn({"tshark", "-q", "-i", "lo", "-f", "udp dst port " + std::to_string(port), "-w", file});
    std::this_thread::sleep_for(std::chrono::seconds(2));
    return child;
}

// Stops the capture, prints tshark's analysis and reads the first stream's figures from it.
std::optional<WireFigures> analyse(pid_t tshark, int port, const std::string& file, const char* who) {
    stop(tshark, SIGINT);
    const std::string command = "tshark -r '" + file + "' -q -d udp.port==" + std::to_string(port) + ",rtp -z rtp,streams";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    std::printf("%s on the wire:\n", who);
    std::optional<WireFigures> figures;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::fputs(line, stdout);
        std::istringstream words(line);
        std::vector<std::string> columns;
        for (std::string word; words >> word;) columns.push_back(word);
        // ... Payload Pkts Lost "(x%)" MinDelta MeanDelta MaxDelta MinJitter MeanJitter MaxJitter
        for (size_t i = 2; i + 6 < columns.size() && !figures; ++i) {
            if (columns[i].front() != '(' || columns[i].find("%)") == std::string::npos) continue;
            figures = WireFigures{std::atol(columns[i - 2].c_str()), std::atol(columns[i - 1].c_str()),
                                  std::atof(columns[i + 1].c_str()), std::atof(columns[i + 2].c_str()),
                                  std::atof(columns[i + 3].c_str()), std::atof(columns[i + 5].c_str())};
        }
    }
    pclose(pipe);
    return figures;
}

void printFigures(const char* who, const WireFigures& f) {
    std::printf("%s: %ld packets, %ld lost, delta %.3f/%.3f/%.3f ms (min/mean/max), mean jitter %.3f ms\n", who,
                f.packets, f.lost, f.minDelta, f.meanDelta, f.maxDelta, f.meanJitter);
}

// A 16-bit PCM WAV of the tone, the only format baresip's file source reads.
std::string writeLinearTone(const std::string& path, int seconds) {
    const int samples = 8000 * seconds;
    std::ofstream out(path, std::ios::binary);
    const auto put32 = [&out](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    const auto put16 = [&out](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    put32(36 + samples * 2);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(1);
    put32(8000);
    put32(16000);
    put16(2);
    put16(16);
    out.write("data", 4);
    put32(samples * 2);
    for (int i = 0; i < samples; ++i) put16(static_cast<std::uint16_t>(static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 1000 * i / 8000.0))));
    return path;
}

// baresip calls a SIPp answering side whose SDP names sink; it sends the tone from its file
// source for the given time while tshark captures the stream.
std::optional<WireFigures> measureBaresip(const std::string& dir, int seconds) {
    if (!installed("baresip") || !installed("sipp")) {
        std::printf("baresip or sipp not installed: no comparison\n");
        return std::nullopt;
    }
    const std::string tone = writeLinearTone(dir + "/tone16.wav", seconds + 10);
    const int sipPort = freePort();
    const int sippPort = freePort();
    const int sink = freePort();
    std::ofstream(dir + "/config") << "poll_method epoll\nsip_listen 127.0.0.1:" << sipPort
                                   << "\naudio_source aufile," << tone << "\naudio_player aufile," << dir
                                   << "/heard.wav\naudio_alert aufile," << dir
                                   << "/alert.wav\nmodule_path /usr/lib/baresip/modules\nmodule g711.so\n"
                                      "module aufile.so\nmodule_app account.so\nmodule_app menu.so\n";
    std::ofstream(dir + "/accounts") << "<sip:bench@127.0.0.1>;regint=0;audio_codecs=PCMU\n";
    const std::string capture = dir + "/baresip.pcap";
    const pid_t tshark = startCapture(sink, capture);
    const pid_t sipp = spawn({"sipp", "-sn", "uas", "-i", "127.0.0.1", "-p", std::to_string(sippPort), "-mi",
                              "127.0.0.1", "-mp", std::to_string(sink), "-nostdin"});
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const pid_t baresip =
        spawn({"baresip", "-f", dir, "-e", "/dial sip:service@127.0.0.1:" + std::to_string(sippPort)});
    // The call takes a few seconds to set up; the analysis covers only the stream itself.
    std::this_thread::sleep_for(std::chrono::seconds(seconds + 1));
    stop(baresip, SIGTERM);
    stop(sipp, SIGKILL);
    return analyse(tshark, sink, capture, "baresip");
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    char dir[] = "/tmp/tessaly-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) return 1;
    const std::string tone = writeTone(std::string(dir) + "/tone.wav");

    AudioDeviceChoice choice;
    choice.kind = AudioDeviceChoice::Kind::Null;
    const AudioDeviceFactory devices(choice);
    RTPAudio sender(devices);
    RTPAudio receiver(devices);
    if (!sender.init(4, 8, 100, 2, 90, 60) || !receiver.init(4, 8, 100, 2, 90, 60) || !sender.open(0, "127.0.0.1") ||
        !receiver.open(0, "127.0.0.1")) {
        std::fprintf(stderr, "engines do not open\n");
        return 1;
    }
    if (!installed("tshark")) {
        std::fprintf(stderr, "tshark is needed for the wire analysis\n");
        return 1;
    }
    const int port = receiver.getLocalPort();
    const std::string capture = std::string(dir) + "/rtp.pcap";
    const pid_t tshark = startCapture(port, capture);

    const double cpuBefore = cpuSeconds();
    receiver.startReceive(0, 100);
    receiver.startPlay(0);
    sender.startWaveFile(tone, false);
    sender.startSend(0, 20, "127.0.0.1", port);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    sender.stopSend();
    const double cpu = cpuSeconds() - cpuBefore;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    const MediaReport report = receiver.getMediaReport();
    std::printf("packets sent %llu, intervals missed %llu\n",
                static_cast<unsigned long long>(sender.getMediaReport().sent.packets),
                static_cast<unsigned long long>(sender.getMediaReport().sent.missedIntervals));
    std::printf("receiver: %s\n", report.toString().c_str());
    std::printf("CPU per engine: %.3f %% of one core\n", 100.0 * cpu / seconds / 2);
    receiver.close();
    sender.close();
    const auto ours = analyse(tshark, port, capture, "tessaly");
    const auto theirs = measureBaresip(dir, seconds);
    std::printf("tessaly mean jitter (receiver, RFC 3550) = %.3f ms\n", report.received.jitterMs);
    if (ours) printFigures("tessaly", *ours);
    if (theirs) printFigures("baresip", *theirs);
    if (!ours || !theirs || theirs->meanJitter <= 0) return 1;
    std::printf("tessaly/baresip mean jitter = %.2f\n", ours->meanJitter / theirs->meanJitter);
    return 0;
}
