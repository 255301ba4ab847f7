// Send pacing of the audio engine: one engine sends a 1 kHz tone to a second on loopback for
// a while (30 s by default); tshark, when installed, captures the stream on the loopback
// interface and its RTP stream analysis gives the packet deltas and the RFC 3550 jitter seen
// on the wire. Prints those, the receiving engine's own media report and the CPU the process
// used per engine. Run it on an idle machine: a busy one measures the scheduler.
//
//   build/bench/bench_rtp_pacing [seconds]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

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

// Starts tshark capturing the UDP port into file; its process id, or -1.
pid_t startCapture(int port, const std::string& file) {
    if (std::system("command -v tshark >/dev/null 2>&1") != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        const std::string filter = "udp port " + std::to_string(port);
        execlp("tshark", "tshark", "-q", "-i", "lo", "-f", filter.c_str(), "-w", file.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

void stopCapture(pid_t child, int port, const std::string& file) {
    if (child < 0) {
        std::printf("tshark not installed: no wire analysis\n");
        return;
    }
    kill(child, SIGINT);
    waitpid(child, nullptr, 0);
    const std::string command = "tshark -r '" + file + "' -q -d udp.port==" + std::to_string(port) +
                                ",rtp -z rtp,streams";
    std::fflush(stdout);
    if (std::system(command.c_str()) != 0) std::printf("tshark analysis failed\n");
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
    const int port = receiver.getLocalPort();
    const std::string capture = std::string(dir) + "/rtp.pcap";
    const pid_t tshark = startCapture(port, capture);
    std::this_thread::sleep_for(std::chrono::seconds(2));  // tshark needs a moment to listen

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
    stopCapture(tshark, port, capture);
    std::printf("tessaly mean jitter (receiver, RFC 3550) = %.3f ms\n", report.received.jitterMs);
    return 0;
}
