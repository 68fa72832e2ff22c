// tomely-publish on a terminal of the test's own (a pseudo-terminal), against tomely-shelf: asked
// for the password with echo off when none is kept, and reading one line with --password-stdin.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <memory>

#include "ShelfProcess.h"
#include "common/ScopedEnvironment.h"
#include "common/TemporaryDirectory.h"
#include "common/ZipBuilder.h"

extern char** environ;

namespace tomely {
namespace {

using shelf::client::ShelfProcess;
using Clock = std::chrono::steady_clock;
constexpr const char* kEmail = "ann@example.com";
constexpr const char* kPassword = "ann-secret";
constexpr auto kDeadline = std::chrono::seconds(120);

// tomely-publish with a pseudo-terminal as its standard input, output and error, and as its
// controlling terminal. The test plays the person at the keyboard on the other side.
class TerminalRun {
public:
    explicit TerminalRun(const std::vector<std::string>& arguments) {
        if (::openpty(&keyboard_, &terminal_, nullptr, nullptr, nullptr) != 0) {
            return;
        }
        std::vector<std::string> all = {TOMELY_PUBLISH_EXECUTABLE};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : all) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        child_ = ::fork();
        if (child_ == 0) {
            // Only async-signal-safe calls until exec.
            ::setsid();
            ::ioctl(terminal_, TIOCSCTTY, 0);
            ::dup2(terminal_, STDIN_FILENO);
            ::dup2(terminal_, STDOUT_FILENO);
            ::dup2(terminal_, STDERR_FILENO);
            ::close(keyboard_);
            ::execve(argv[0], argv.data(), environ);
            ::_exit(127);
        }
    }
    ~TerminalRun() {
        if (child_ > 0 && !status_) {
            ::kill(child_, SIGKILL);
            (void)wait(std::chrono::seconds(10));
        }
        ::close(keyboard_);
        ::close(terminal_);
    }
    TerminalRun(const TerminalRun&) = delete;
    TerminalRun& operator=(const TerminalRun&) = delete;

    // Reads what the terminal shows until it holds `text`; false at the deadline.
    bool waitForShown(const std::string& text, std::chrono::seconds deadline = kDeadline) {
        const Clock::time_point end = Clock::now() + deadline;
        while (shown_.find(text) == std::string::npos) {
            if (!readSome(end)) {
                return false;
            }
        }
        return true;
    }
    void type(const std::string& keys) const { (void)!::write(keyboard_, keys.data(), keys.size()); }
    // The terminal's local modes as the program has set them.
    [[nodiscard]] tcflag_t localModes() const {
        termios modes{};
        ::tcgetattr(terminal_, &modes);
        return modes.c_lflag;
    }
    // Reads the terminal until the program has exited; its exit status, or -1 at the deadline.
    int wait(std::chrono::seconds deadline = kDeadline) {
        const Clock::time_point end = Clock::now() + deadline;
        while (!status_) {
            int status = 0;
            if (::waitpid(child_, &status, WNOHANG) == child_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (!readSome(end) && Clock::now() >= end) {
                return -1;
            }
        }
        // What it wrote last is still in the terminal.
        while (readSome(Clock::now() + std::chrono::milliseconds(200))) {
        }
        return *status_;
    }
    [[nodiscard]] const std::string& shown() const { return shown_; }

private:
    // Waits for output until `end`, a tenth of a second at a time so that an exit is seen.
    bool readSome(Clock::time_point end) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) {
            return false;
        }
        pollfd watched{keyboard_, POLLIN, 0};
        if (::poll(&watched, 1, static_cast<int>(std::min<long long>(left, 100))) <= 0) {
            return Clock::now() < end && !status_;
        }
        char block[4096];
        const ssize_t count = ::read(keyboard_, block, sizeof block);
        if (count <= 0) {
            return false;
        }
        shown_.append(block, static_cast<std::size_t>(count));
        return true;
    }

    int keyboard_ = -1;
    int terminal_ = -1;
    pid_t child_ = -1;
    std::optional<int> status_;
    std::string shown_;
};

class PublishTerminalTest : public ::testing::Test {
protected:
    PublishTerminalTest() {
        environment_.set("XDG_CACHE_HOME", directory_.pathOf("cache"));
        // No Secret Service to be found: no password is kept.
        environment_.set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + directory_.pathOf("no-bus"));
        environment_.set("TOMELY_EMAIL", kEmail);
        test::ZipBuilder(book_).add("index.xml",
                                    R"(<sl:textbook sl:GUID="G-TTY"><sl:title>T</sl:title></sl:textbook>)");
    }

    [[nodiscard]] std::string serviceURL() const { return "http://127.0.0.1:" + std::to_string(service_.port()); }

    test::TemporaryDirectory directory_;
    test::ScopedEnvironment environment_;
    test::TemporaryDirectory serviceData_;
    ShelfProcess service_{TOMELY_SHELF_EXECUTABLE,
                          {"--listen", "127.0.0.1:0", "--data", serviceData_.path()},
                          ShelfProcess::Users{{kEmail, kPassword}}};
    const std::string book_ = directory_.pathOf("walk.iba");
};

TEST_F(PublishTerminalTest, WithNoPasswordKeptItAsksOnTheTerminalWithoutEchoAndPutsTheTerminalBack) {
    struct Case {
        const char* name;
        std::vector<std::string> options;
    };
    const Case cases[] = {
        {"none kept", {"--new", "Walk"}},
        // One line is the password: Enter ends it, with no end of input after it.
        {"--password-stdin", {"--password-stdin", "--new", "Walk Again"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> arguments = {"--service", serviceURL()};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.push_back(book_);
        TerminalRun run(arguments);
        ASSERT_TRUE(run.waitForShown("Password for ann@example.com: ")) << run.shown();
        EXPECT_EQ(run.localModes() & ECHO, 0U) << "echo is off while the password is typed";
        run.type(std::string(kPassword) + "\n");
        EXPECT_EQ(run.wait(), 0) << run.shown();
        EXPECT_EQ(run.shown().find(kPassword), std::string::npos) << run.shown();
        EXPECT_NE(run.shown().find("the new book \"" + c.options.back() + "\""), std::string::npos) << run.shown();
        EXPECT_NE(run.localModes() & ECHO, 0U) << "echo is back";
    }
}

TEST_F(PublishTerminalTest, CtrlCAtThePromptEndsTheRunAndPutsTheTerminalBack) {
    TerminalRun run({"--service", serviceURL(), "--new", "Walk", book_});
    ASSERT_TRUE(run.waitForShown("Password for ann@example.com: ")) << run.shown();
    run.type("\x03");
    EXPECT_EQ(run.wait(), 130) << run.shown();
    EXPECT_NE(run.shown().find("tomely-publish: interrupted before signing in"), std::string::npos) << run.shown();
    EXPECT_NE(run.localModes() & ECHO, 0U) << "echo is back";
}

}  // namespace
}  // namespace tomely
