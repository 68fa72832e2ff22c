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

}  // namespace
}  // namespace tomely
