#pragma once

namespace tomely {

// While at least one of these lives, the process is not dumpable (prctl PR_SET_DUMPABLE 0): a
// crash leaves no core dump, and no other process of the same user may attach to it or read its
// memory. Held while a password is in memory. When the last one goes, the process is dumpable
// again as it was before the first came. Any thread. Move-only: a moved-from scope holds nothing.
class NotDumpableScope {
public:
    NotDumpableScope();
    ~NotDumpableScope() { release(); }
    NotDumpableScope(NotDumpableScope&& other) noexcept : holds_(other.holds_) { other.holds_ = false; }
    NotDumpableScope& operator=(NotDumpableScope&& other) noexcept;
    NotDumpableScope(const NotDumpableScope&) = delete;
    NotDumpableScope& operator=(const NotDumpableScope&) = delete;

    // Lets go now rather than when the scope goes; does nothing the second time.
    void release() noexcept;

private:
    bool holds_ = true;
};

}  // namespace tomely
