#pragma once

#include <chrono>

namespace tomely {

// The threads that work for the app in the background (extraction, splitting, fingerprinting, an
// upload being prepared), counted so that a process on its way out can stop them before the
// static objects they use, OpenSSL's among them, are torn down under their feet.
class BackgroundWork {
public:
    // Counts one worker from its creation to its end: made before the thread starts, so that no
    // thread is ever under way uncounted, and moved into it. Thread-safe.
    class Scope {
    public:
        Scope();
        Scope(Scope&& other) noexcept;
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        Scope& operator=(Scope&&) = delete;
        ~Scope();

    private:
        bool counted_ = true;
    };

    // Raises the stop that every Cancellation check also sees, then waits up to `grace` for the
    // counted workers to end. False when some still run then. Once raised, the stop stays raised:
    // it is meant for the end of the process.
    static bool stopAll(std::chrono::milliseconds grace);
    [[nodiscard]] static bool isStopping();
};

}  // namespace tomely
