#include "media/RTPReceiveStatistics.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Clock = RTPReceiveStatistics::Clock;

// One packet: its sequence number, and how late (ms) it arrives against its own send time,
// a stream of 20 ms packets whose timestamps follow their sequence numbers.
struct Arrival {
    int sequence;
    double lateMs;
};

struct Case {
    const char* name;
    std::vector<Arrival> arrivals;
    std::uint64_t lost;
    std::uint64_t duplicated;
    std::uint64_t outOfOrder;
    double jitterMs;
};

// The jitter of RFC 3550 A.8 for transit differences d (ms), in order.
double jitterOf(const std::vector<double>& d) {
    double j = 0;
    for (double x : d) j += (std::abs(x) - j) / 16;
    return j;
}

RTPReceiveReport feed(const std::vector<Arrival>& arrivals, int firstSequence) {
    RTPReceiveStatistics statistics;
    statistics.start(0x1234, 8000);
    const Clock::time_point zero{};
    for (const Arrival& a : arrivals) {
        const int n = a.sequence - firstSequence;  // packets after the first
        const auto sent = zero + std::chrono::milliseconds(20 * n);
        const auto arrival = sent + std::chrono::microseconds(static_cast<long long>(a.lateMs * 1000));
        statistics.onPacket(static_cast<std::uint16_t>(a.sequence), static_cast<std::uint32_t>(1000 + 160 * n), 160,
                            arrival, std::chrono::system_clock::now());
    }
    RTPReceiveReport report;
    statistics.fill(report);
    return report;
}

}  // namespace

// Loss (RFC 3550 A.3: expected less received), duplicates, reordering and jitter (A.8) of
// crafted streams; each case also crosses the 16-bit wrap of the sequence number.
TEST(RTPReceiveStatistics, CountsWhatTheSenderDidOnPurpose) {
    const std::vector<Case> cases = {
        {"in order, on time", {{0, 0}, {1, 0}, {2, 0}, {3, 0}}, 0, 0, 0, 0},
        {"two dropped", {{0, 0}, {1, 0}, {4, 0}, {5, 0}}, 2, 0, 0, 0},
        {"one swapped", {{0, 0}, {2, 0}, {1, 0}, {3, 0}}, 0, 0, 1, jitterOf({0, 0, 0})},
        {"one duplicated", {{0, 0}, {1, 0}, {1, 0}, {2, 0}}, 0, 1, 0, 0},
        {"late duplicate", {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {1, 0}}, 0, 1, 0, 0},
        {"one delayed 30 ms", {{0, 0}, {1, 30}, {2, 0}, {3, 0}}, 0, 0, 0, jitterOf({30, -30, 0})},
        {"every other 10 ms late", {{0, 0}, {1, 10}, {2, 0}, {3, 10}, {4, 0}}, 0, 0, 0,
         jitterOf({10, -10, 10, -10})},
        {"loss then reordering", {{0, 0}, {3, 0}, {2, 0}, {5, 0}}, 2, 0, 1, 0},
    };
    for (const Case& c : cases) {
        for (const int first : {1000, 65534}) {
            std::vector<Arrival> shifted = c.arrivals;
            for (Arrival& a : shifted) a.sequence += first;
            const RTPReceiveReport report = feed(shifted, first);
            EXPECT_EQ(report.packets, c.arrivals.size()) << c.name << " from " << first;
            EXPECT_EQ(report.bytes, 160 * c.arrivals.size()) << c.name;
            EXPECT_EQ(report.lost, c.lost) << c.name << " from " << first;
            EXPECT_EQ(report.duplicated, c.duplicated) << c.name << " from " << first;
            EXPECT_EQ(report.outOfOrder, c.outOfOrder) << c.name << " from " << first;
            EXPECT_NEAR(report.jitterMs, c.jitterMs, 1e-6) << c.name << " from " << first;
            EXPECT_EQ(report.ssrc, 0x1234u);
        }
    }
}

// A jump the source check has believed (RFC 3550 A.1) starts the numbering again: the packets
// between are not counted as lost, those missing before it still are.
TEST(RTPReceiveStatistics, BelievedJumpRestartsTheNumbering) {
    const RTPReceiveReport report = feed({{10, 0}, {12, 0}, {9000, 0}, {9001, 0}, {9003, 0}}, 10);
    EXPECT_EQ(report.lost, 2u);
    EXPECT_EQ(report.outOfOrder, 0u);
}
