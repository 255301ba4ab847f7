#include "media/RTPSourceState.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Step {
    std::uint32_t ssrc;
    std::uint16_t sequence;
    int expected;
    int payloadType = 0;
};

constexpr int kNew = RTPSourceState::kNewSource;
constexpr int kOk = RTPSourceState::kAccepted;

void run(const char* what, const std::vector<Step>& steps) {
    RTPSourceState state(0);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        EXPECT_EQ(state.checkSource(s.payloadType, s.ssrc, s.sequence), s.expected)
            << what << ", packet " << i << " (ssrc " << s.ssrc << ", seq " << s.sequence << ")";
    }
}

}  // namespace

TEST(RTPSourceState, ProbationOfTheFirstAndOfANewSource) {
    // The first packet only names the candidate; two packets in sequence after it accept it.
    run("first source", {{7, 100, -2}, {7, 101, -3}, {7, 102, kNew}, {7, 103, kOk}});
    // Until then the candidate's last number is 0: a source counting from 0 needs one packet less.
    run("first source counting from 0", {{7, 0, -2}, {7, 1, kNew}});
    run("candidate out of sequence starts again",
        {{7, 100, -2}, {7, 101, -3}, {7, 200, -3}, {7, 201, kNew}});
    // Another SSRC takes over after two packets in sequence, unless the current one goes on.
    run("new source", {{7, 10, -2}, {7, 11, -3}, {7, 12, kNew}, {9, 500, -2}, {9, 501, kNew}, {7, 13, -2}});
    run("interleaved newcomer stays on probation",
        {{7, 10, -2}, {7, 11, -3}, {7, 12, kNew}, {9, 500, -2}, {7, 13, kOk}, {9, 501, -4}, {7, 14, kOk}});
    run("wrong payload type of the current source", {{7, 10, -2}, {7, 11, -3}, {7, 12, kNew}, {7, 13, -1, 8}, {7, 14, kOk}});
    // SSRC 0 is an SSRC like any other, never a current source before it was accepted.
    run("SSRC 0 before any source", {{5, 1, -2}, {0, 7, -2}, {0, 8, kNew}});
}

TEST(RTPSourceState, SequenceJumpsMisorderAndWrap) {
    const std::vector<Step> accepted = {{7, 1000, -2}, {7, 1001, -3}, {7, 1002, kNew}};
    auto after = [&](std::vector<Step> more) {
        std::vector<Step> steps = accepted;
        steps.insert(steps.end(), more.begin(), more.end());
        return steps;
    };
    run("2999 ahead is a loss", after({{7, 4001, kOk}, {7, 4002, kOk}}));
    run("3000 ahead is a jump believed at the next packet", after({{7, 4002, -5}, {7, 4003, kOk}, {7, 4004, kOk}}));
    run("a jump not followed stays dropped", after({{7, 4002, -5}, {7, 9000, -5}, {7, 1003, kOk}}));
    run("99 late is played, 100 late is a jump",
        after({{7, 1003, kOk}, {7, 904, kOk}, {7, 903, -5}, {7, 1004, kOk}}));
    run("a repeated jump after an accepted packet asks once more",
        after({{7, 9000, -5}, {7, 1003, kOk}, {7, 9001, -6}, {7, 9002, kOk}, {7, 9003, kOk}}));
    run("numbers wrap at 16 bits", {{7, 65534, -2}, {7, 65535, -3}, {7, 0, kNew}, {7, 1, kOk}, {7, 65500, kOk}});
    // The number awaited after a jump to 65535 is 0, not 65536.
    run("jump to the last number", after({{7, 65535, -5}, {7, 0, kOk}, {7, 1, kOk}}));
}
