// The warm/cold policy on a fake clock: a stream is ready for a click while one is likely, and none
// is left on the server once none is.
#include <gtest/gtest.h>

#include "platform/linux/WarmPolicy.h"

namespace {

using namespace std::chrono_literals;
using State = mci::WarmPolicy::State;

struct WarmPolicyTest : ::testing::Test {
    // Moves the clock on, firing the cooling timer where the output would have armed it.
    void Wait(std::chrono::milliseconds time) {
        now += time;
        if (policy.CoolAt() && *policy.CoolAt() <= now) {
            policy.Cool();
        }
    }
    std::chrono::steady_clock::time_point now{};
    mci::WarmPolicy policy{[this] { return now; }, mci::kClickLikely};
};

TEST_F(WarmPolicyTest, WarmOnAHintReadyOnceConnectedLentToClipsAndColdAfterTheHold) {
    EXPECT_EQ(policy.state(), State::Cold);
    policy.Hint(5s);
    EXPECT_EQ(policy.state(), State::Connecting);
    EXPECT_FALSE(policy.MakesReadyStream());
    policy.Connected(true);
    EXPECT_TRUE(policy.MakesReadyStream());
    policy.Lend();
    EXPECT_EQ(policy.state(), State::Lent);
    EXPECT_FALSE(policy.MakesReadyStream());
    // The hint's hold runs out while the clip plays: a ready stream of another format is let go.
    Wait(5s);
    EXPECT_FALSE(policy.KeepsReadyStream());
    EXPECT_EQ(policy.CoolAt(), std::nullopt);
    // A second clip meanwhile: none is made ready while the first still holds its stream.
    policy.Lend();
    policy.Return();
    EXPECT_FALSE(policy.MakesReadyStream());
    // The clip's end makes a click likely for the policy's own hold, not the last hint's.
    policy.Return();
    EXPECT_EQ(policy.state(), State::Ready);
    EXPECT_EQ(policy.CoolAt(), now + mci::kClickLikely);
    Wait(mci::kClickLikely - 1ms);
    EXPECT_TRUE(policy.KeepsReadyStream());
    Wait(1ms);
    EXPECT_EQ(policy.state(), State::Cold);
    EXPECT_FALSE(policy.KeepsReadyStream());
    EXPECT_EQ(policy.CoolAt(), std::nullopt) << "a timer left armed while cold";
}

TEST_F(WarmPolicyTest, ALaterHintMovesTheColdAndALostConnectionWaitsForTheNext) {
    policy.Connected(true);
    policy.Hint(10s);
    Wait(8s);
    policy.Hint(10s);
    Wait(2s);
    policy.Cool();  // the timer armed for the first hint, had it not been moved
    EXPECT_EQ(policy.state(), State::Ready);
    policy.Connected(false);
    EXPECT_EQ(policy.state(), State::Connecting);
    EXPECT_EQ(policy.CoolAt(), now + 8s);
}

}  // namespace
