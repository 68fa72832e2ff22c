#include "platform/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
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

TEST(SerialQueueTest, KeepsItselfAliveUntilItsLastOperationHasRunWhenTheCreatorDropsIt) {
    std::mutex mutex;
    std::condition_variable changed;
    bool release = false;
    int finished = 0;
    std::weak_ptr<SerialQueue> weak;
    {
        auto queue = SerialQueue::create("lifetime");
        weak = queue;
        queue->addOperation([&] {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return release; });
            ++finished;
        });
        queue->addOperation([&] {
            std::scoped_lock lock(mutex);
            ++finished;
            changed.notify_all();
        });
    }
    // The creator's reference is gone, yet the queue still exists and finishes its work.
    EXPECT_FALSE(weak.expired());
    {
        std::unique_lock lock(mutex);
        release = true;
        changed.notify_all();
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return finished == 2; }));
    }
    // Once its worker has let go, nothing keeps the queue alive.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!weak.expired() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    EXPECT_TRUE(weak.expired());
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
