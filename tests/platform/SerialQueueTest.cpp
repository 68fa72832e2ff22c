#include "platform/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

namespace tomely {
namespace {

TEST(SerialQueueTest, RunsOneOperationAtATimeInOrderOffTheCallingThread) {
    auto queue = SerialQueue::create("order");
    std::mutex mutex;
    std::vector<int> order;
    std::atomic<int> running{0};
    std::atomic<int> maxRunning{0};
    const auto caller = std::this_thread::get_id();
    for (int i = 0; i < 50; ++i) {
        queue->addOperation([&, i] {
            const int now = ++running;
            maxRunning = std::max(maxRunning.load(), now);
            EXPECT_NE(std::this_thread::get_id(), caller);
            {
                std::scoped_lock lock(mutex);
                order.push_back(i);
            }
            --running;
        });
    }
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(maxRunning, 1);
    std::vector<int> expected(50);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(order, expected);
}

TEST(SerialQueueTest, WorkAddedAfterIdlingRunsAgain) {
    auto queue = SerialQueue::create("again");
    std::atomic<int> ran{0};
    queue->addOperation([&] { ++ran; });
    queue->waitUntilAllOperationsAreFinished();
    queue->addOperation([&] { ++ran; });
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran, 2);
}

}  // namespace
}  // namespace tomely
