#include "platform/BackgroundWork.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/Cancellation.h"
#include "platform/SerialQueue.h"

namespace tomely {
namespace {

using namespace std::chrono_literals;

// Each case runs in a process of its own: the stop, once raised, stays raised.
TEST(BackgroundWorkTest, TheEndOfTheProcessStopsWorkThatChecksAnyCancellationAndWaitsForIt) {
    struct Case {
        const char* name;
        const Cancellation* checked;
    };
    const Cancellation unraised;
    const Case cases[] = {
        {"a token of its own, never raised", &unraised},
        {"no token at all", nullptr},
    };
    std::atomic<int> stopped{0};
    for (const Case& c : cases) {
        // A loop that would run for ever but for the stop; the queue is let go of at once.
        SerialQueue::create(c.name)->addOperation([&stopped, checked = c.checked] {
            while (!isCancelled(checked)) {
                std::this_thread::yield();
            }
            ++stopped;
        });
    }
    EXPECT_FALSE(unraised.isCancelled());
    EXPECT_TRUE(BackgroundWork::stopAll(60s));
    EXPECT_EQ(stopped, 2);
    EXPECT_TRUE(unraised.isCancelled()) << "every token now reads as raised";
}

TEST(BackgroundWorkTest, WorkThatDoesNotStopIsReportedAfterTheGraceAndWaitedForAgain) {
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    SerialQueue::create("deaf")->addOperation([&] {
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return release; });
    });
    EXPECT_FALSE(BackgroundWork::stopAll(50ms));
    {
        std::scoped_lock lock(mutex);
        release = true;
    }
    released.notify_all();
    EXPECT_TRUE(BackgroundWork::stopAll(60s));
}

}  // namespace
}  // namespace tomely
