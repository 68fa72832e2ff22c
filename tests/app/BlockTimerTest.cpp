#include "app/BlockTimer.h"

#include <gtest/gtest.h>

#include "common/MainLoopFixture.h"

namespace tomely {
namespace {

using BlockTimerTest = test::MainLoopFixture;

TEST_F(BlockTimerTest, ChainedTimersFireInOrderOnTheMainLoopWithoutTheCallerKeepingThem) {
    std::vector<std::string> fired;
    BlockTimer::scheduledTimerWithTimeInterval(0.01, false, [&](BlockTimer& outer) {
        EXPECT_FALSE(outer.isValid()) << "a one-shot timer is spent once it fires";
        fired.emplace_back("outer");
        BlockTimer::scheduledTimerWithTimeInterval(0.01, false, [&](BlockTimer&) { fired.emplace_back("inner"); });
    });
    EXPECT_TRUE(fired.empty());
    ASSERT_TRUE(runUntil([&] { return fired.size() == 2; }));
    EXPECT_EQ(fired, (std::vector<std::string>{"outer", "inner"}));
}

TEST_F(BlockTimerTest, RepeatingTimerFiresUntilInvalidatedAndUnscheduledTimerWaits) {
    int repeats = 0;
    bool lateFired = false;
    auto late = BlockTimer::timerWithTimeInterval(0.001, false, [&](BlockTimer&) { lateFired = true; });
    BlockTimer::scheduledTimerWithTimeInterval(0.001, true, [&](BlockTimer& timer) {
        if (++repeats == 3) {
            timer.invalidate();
            late->schedule();
        }
    });
    ASSERT_TRUE(runUntil([&] { return lateFired; }));
    drainMainLoop();
    EXPECT_EQ(repeats, 3);
}

}  // namespace
}  // namespace tomely
