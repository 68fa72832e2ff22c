#include "platform/EventLoop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tomely {
namespace {

using namespace std::chrono_literals;

TEST(EventLoopTest, RunsPostedTasksInOrderAndTimedTasksByDueTime) {
    EventLoop loop;
    std::vector<std::string> order;
    loop.postAfter(20ms, [&] { order.push_back("late"); });
    loop.postAfter(1ms, [&] { order.push_back("soon"); });
    loop.post([&] { order.push_back("first"); });
    loop.post([&] { order.push_back("second"); });
    ASSERT_TRUE(loop.runUntil([&] { return order.size() == 4; }, 5s));
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "soon", "late"}));
}

TEST(EventLoopTest, RunUntilGivesUpAtItsDeadlineWhenNothingHappens) {
    EventLoop loop;
    EXPECT_FALSE(loop.runUntil([] { return false; }, 10ms));
}

}  // namespace
}  // namespace tomely
