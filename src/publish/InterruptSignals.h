#pragma once

#include <functional>

namespace tomely {

// Turns SIGINT, SIGTERM and SIGHUP (the terminal went away) into a task on the main loop, where cancelling is safe
// (nothing may be done inside a signal handler). The signals are blocked in the calling thread, and so in every thread
// started after it, and a thread of its own waits for them. Call it on the main thread, after installing the main loop
// and before any other thread starts; it lasts for the rest of the process. `arrived`, when given, is called on the
// waiting thread as each signal comes, before the main loop hears of it: for waking what blocks the main thread.
void routeInterruptsToMainLoop(std::function<void(int signal)> handler, std::function<void()> arrived = {});

}  // namespace tomely
