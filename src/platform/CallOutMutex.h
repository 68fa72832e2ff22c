#pragma once

#include <functional>
#include <mutex>
#include <vector>

namespace tomely {

// A recursive mutex for an object that must not call out of itself while it holds its own lock.
// A holder hands each call to another object (a queue to tell, a report to post, a question for a
// delegate) to callOutAfterUnlock, with what it needs gathered while the lock is held; the calls
// run in the order handed over, on the holder's thread, as soon as the outermost holder has let
// go. So no other object's lock is ever taken under this one, and nothing called out can find the
// object half-changed. Meets BasicLockable, for std::scoped_lock.
class CallOutMutex {
public:
    void lock();
    // Runs the call-outs when this was the outermost holder. They must not throw.
    void unlock();
    // Only while holding the lock.
    void callOutAfterUnlock(std::function<void()> callOut);

private:
    std::recursive_mutex mutex_;
    // Guarded by mutex_.
    int depth_ = 0;
    std::vector<std::function<void()>> callOuts_;
};

}  // namespace tomely
