#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

#include "platform/EventLoop.h"

namespace tomely::test {

// Installs a fresh EventLoop as the process's main loop for the test's duration.
class MainLoopFixture : public ::testing::Test {
protected:
    MainLoopFixture() { MainLoop::install(loop_); }
    ~MainLoopFixture() override { MainLoop::install(nullptr); }

    // Runs the loop until `done` holds; fails the test when `timeout` passes first.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const bool reached = loop_->runUntil(done, timeout);
        EXPECT_TRUE(reached) << "timed out waiting for an event";
        return reached;
    }
    // Runs everything that is ready now (and nothing scheduled for later).
    void drainMainLoop() {
        bool marker = false;
        loop_->post([&marker] { marker = true; });
        loop_->runUntil([&marker] { return marker; }, std::chrono::seconds(10));
    }

    EventLoop& loop() { return *loop_; }

private:
    std::shared_ptr<EventLoop> loop_ = std::make_shared<EventLoop>();
};

}  // namespace tomely::test
