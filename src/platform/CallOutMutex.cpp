#include "platform/CallOutMutex.h"

#include <utility>

namespace tomely {

void CallOutMutex::lock() {
    mutex_.lock();
    ++depth_;
}

void CallOutMutex::unlock() {
    std::vector<std::function<void()>> due;
    if (--depth_ == 0) {
        due.swap(callOuts_);
    }
    mutex_.unlock();
    for (auto& callOut : due) {
        callOut();
    }
}

void CallOutMutex::callOutAfterUnlock(std::function<void()> callOut) {
    callOuts_.push_back(std::move(callOut));
}

}  // namespace tomely
