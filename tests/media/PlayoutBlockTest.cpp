#include "media/PlayoutBlock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// 10 ms packets of one repeated byte into 40 ms blocks (320 bytes).
class PlayoutBlockTest : public ::testing::Test {
protected:
    void SetUp() override {
        PayloadType pcmu;
        ASSERT_TRUE(pcmu.set(0));
        block.configure(pcmu, 40, [this](const std::uint8_t* data, std::size_t length) {
            played.emplace_back(reinterpret_cast<const char*>(data), length);
        });
        block.restart(base);
    }
    // Packet n (80 samples each from the base) holding the byte n.
    bool add(int n) {
        const std::string payload(80, static_cast<char>(n));
        return block.add(base + 80u * static_cast<std::uint32_t>(n), reinterpret_cast<const std::uint8_t*>(payload.data()),
                         80);
    }
    static std::string piece(int n) { return n < 0 ? std::string(80, '\xFF') : std::string(80, static_cast<char>(n)); }
    // The block of the four pieces (-1: silence).
    static std::string blockOf(std::initializer_list<int> pieces) {
        std::string all;
        for (int n : pieces) all += piece(n);
        return all;
    }

    std::uint32_t base = 0xFFFFFF00;  // the timestamps wrap inside the second block
    PlayoutBlock block;
    std::vector<std::string> played;
};

}  // namespace

TEST_F(PlayoutBlockTest, ReorderedPacketsPlayInOrderAndGapsAsSilence) {
    // 3 and 6 never come: silence. 5 is beyond the first block, which goes; 7 fills the
    // second block to its end, which goes too.
    for (int n : {0, 2, 1, 5}) EXPECT_TRUE(add(n)) << n;
    ASSERT_EQ(played.size(), 1u);
    for (int n : {4, 7}) EXPECT_TRUE(add(n)) << n;
    ASSERT_EQ(played.size(), 2u);
    EXPECT_EQ(played[0], blockOf({0, 1, 2, -1}));
    EXPECT_EQ(played[1], blockOf({4, 5, -1, 7}));
}

TEST_F(PlayoutBlockTest, LatePacketsAreDroppedAndALongGapRestarts) {
    for (int n : {0, 1, 2, 3}) add(n);
    EXPECT_FALSE(add(2));  // its block has been played
    ASSERT_EQ(played.size(), 1u);
    add(4);
    // 20 is four blocks on: the block in hand goes, and the next block starts at 20.
    EXPECT_TRUE(add(20));
    add(21);
    ASSERT_EQ(played.size(), 2u);
    EXPECT_EQ(played[1], blockOf({4, -1, -1, -1}));
    block.flush();
    ASSERT_EQ(played.size(), 3u);
    EXPECT_EQ(played[2], blockOf({20, 21, -1, -1}));
    block.flush();  // nothing placed since
    EXPECT_EQ(played.size(), 3u);
}
