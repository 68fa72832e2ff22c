#include "platform/CallOutMutex.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>

namespace tomely {
namespace {

TEST(CallOutMutexTest, CallOutsRunInOrderOnceTheOutermostHolderHasLetGo) {
    CallOutMutex mutex;
    std::string log;
    {
        std::scoped_lock outer(mutex);
        {
            std::scoped_lock inner(mutex);
            mutex.callOutAfterUnlock([&] { log += "1,"; });
        }
        log += "inner let go,";
        mutex.callOutAfterUnlock([&] {
            // A call-out may take the lock again and hand over call-outs of its own.
            std::scoped_lock again(mutex);
            mutex.callOutAfterUnlock([&] { log += "3,"; });
            log += "2,";
        });
        log += "outer let go,";
    }
    EXPECT_EQ(log, "inner let go,outer let go,1,2,3,");
}

}  // namespace
}  // namespace tomely
