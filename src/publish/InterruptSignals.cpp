#include "publish/InterruptSignals.h"

#include <pthread.h>
#include <signal.h>

#include <thread>

#include "platform/MainLoop.h"

namespace tomely {

void routeInterruptsToMainLoop(std::function<void(int signal)> handler, std::function<void()> arrived) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // Detached: it waits until the process ends.
    std::thread([signals, handler = std::move(handler), arrived = std::move(arrived), loop = MainLoop::shared()] {
        for (;;) {
            int signal = 0;
            if (sigwait(&signals, &signal) == 0) {
                if (arrived) {
                    arrived();
                }
                loop->post([handler, signal] { handler(signal); });
            }
        }
    }).detach();
}

}  // namespace tomely
