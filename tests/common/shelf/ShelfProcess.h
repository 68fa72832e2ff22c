#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tomely::shelf::client {

// tomely-shelf run as a child process, for tests of the program itself and for the load bench,
// which kills it; also any other program of the project a test runs to its end (the publisher).
// Its stdout and stderr are read on a thread of this object from the start, so the child never
// blocks on a full pipe.
class ShelfProcess {
public:
    // E-mail addresses and passwords of accounts to create.
    using Users = std::vector<std::pair<std::string, std::string>>;

    // Starts the executable and waits until it says where it serves; throws std::runtime_error
    // when it exits first or says nothing within a minute. The users are given to it on its
    // standard input ("--user-file -"), so that their passwords do not show in its arguments.
    ShelfProcess(const std::string& executable, std::vector<std::string> arguments, const Users& users = {});
    // Starts the executable with `input` as its standard input, without waiting for anything.
    ShelfProcess(const std::string& executable, const std::vector<std::string>& arguments, const std::string& input);
    // Kills the child if it still runs.
    ~ShelfProcess();
    ShelfProcess(const ShelfProcess&) = delete;
    ShelfProcess& operator=(const ShelfProcess&) = delete;

    [[nodiscard]] int port() const { return port_; }
    [[nodiscard]] pid_t pid() const { return pid_; }
    void sendSignal(int signal) const;
    // Waits until the child has exited and closed its output; returns its exit status, or
    // 128 + the signal that ended it, or -1 when the deadline passed first.
    int wait(std::chrono::seconds deadline);
    [[nodiscard]] std::string output() const;
    // Waits until the output contains `text`; false when the deadline passed or the child closed
    // its output first.
    bool waitForOutput(const std::string& text, std::chrono::seconds deadline);
    // The same for a pattern; the match is left in `match` (of a copy of the output it keeps).
    bool waitForOutput(const std::regex& pattern, std::smatch& match, std::chrono::seconds deadline);

    // Runs the executable to its end with these arguments (for refusals at start-up) and gives
    // its exit status and output.
    static std::pair<int, std::string> runToEnd(const std::string& executable,
                                                const std::vector<std::string>& arguments);

private:
    void readOutput(int fd);

    pid_t pid_ = -1;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string output_;
    // The output a pattern was last matched in; the match points into it.
    std::string matched_;
    bool closed_ = false;
    bool reaped_ = false;
    int status_ = -1;
    std::thread reader_;
};

}  // namespace tomely::shelf::client
