#include "platform/MainLoop.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace tomely {
namespace {

std::mutex installedMutex;
std::shared_ptr<MainLoop> installed;

}  // namespace

std::shared_ptr<MainLoop> MainLoop::shared() {
    std::scoped_lock lock(installedMutex);
    if (!installed) {
        std::fputs("tomely: no main loop installed\n", stderr);
        std::abort();
    }
    return installed;
}

void MainLoop::install(std::shared_ptr<MainLoop> loop) {
    std::scoped_lock lock(installedMutex);
    installed = std::move(loop);
}

}  // namespace tomely
