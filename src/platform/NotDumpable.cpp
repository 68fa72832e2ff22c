#include "platform/NotDumpable.h"

#include <sys/prctl.h>

#include <mutex>

namespace tomely {
namespace {

std::mutex scopesLock;
int scopes = 0;
// The flag before the first scope came (1 unless the process was started not dumpable).
int dumpableBefore = 1;

}  // namespace

NotDumpableScope::NotDumpableScope() {
    std::scoped_lock lock(scopesLock);
    if (scopes++ == 0) {
        dumpableBefore = ::prctl(PR_GET_DUMPABLE);
        ::prctl(PR_SET_DUMPABLE, 0);
    }
}

NotDumpableScope& NotDumpableScope::operator=(NotDumpableScope&& other) noexcept {
    if (this != &other) {
        release();
        holds_ = other.holds_;
        other.holds_ = false;
    }
    return *this;
}

void NotDumpableScope::release() noexcept {
    if (!holds_) {
        return;
    }
    holds_ = false;
    std::scoped_lock lock(scopesLock);
    // Only 0 and 1 can be set; a process that was neither stays as it is now.
    if (--scopes == 0 && dumpableBefore == 1) {
        ::prctl(PR_SET_DUMPABLE, 1);
    }
}

}  // namespace tomely
