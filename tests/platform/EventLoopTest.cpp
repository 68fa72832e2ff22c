#include "platform/EventLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
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

TEST(EventLoopTest, DeliversWorkPostedFromOtherThreadsOnItsOwnThread) {
    EventLoop loop;
    std::atomic<int> ranOnMain{0};
    std::vector<std::thread> posters;
    for (int i = 0; i < 4; ++i) {
        posters.emplace_back([&] {
            EXPECT_FALSE(loop.isMainThread());
            loop.post([&] { ranOnMain += loop.isMainThread() ? 1 : 0; });
        });
    }
    for (auto& poster : posters) {
        poster.join();
    }
    ASSERT_TRUE(loop.runUntil([&] { return ranOnMain == 4; }, 5s));
}

TEST(EventLoopTest, RunUntilGivesUpAtItsDeadlineWhenNothingHappens) {
    EventLoop loop;
    EXPECT_FALSE(loop.runUntil([] { return false; }, 10ms));
}

}  // namespace
}  // namespace tomely
