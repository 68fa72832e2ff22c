#include "ShelfProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <regex>
#include <stdexcept>

extern char** environ;

namespace tomely::shelf::client {

namespace {

// Starts the executable with its output on `outputFd`; with `input`, its standard input is a
// socket that holds it (a socket rather than a pipe, so that a child that exits before reading
// costs an error, not a SIGPIPE).
pid_t spawn(const std::string& executable, const std::vector<std::string>& arguments, int& outputFd,
            const std::optional<std::string>& input = std::nullopt) {
    int pipeFds[2];
    int inputFds[2] = {-1, -1};
    if (::pipe2(pipeFds, O_CLOEXEC) != 0 ||
        (input && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, inputFds) != 0)) {
        throw std::runtime_error("cannot create a pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    if (input) {
        posix_spawn_file_actions_adddup2(&actions, inputFds[0], STDIN_FILENO);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int result = posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (input) {
        ::close(inputFds[0]);
        // Small enough for the socket's buffer; a child that exits early leaves it unread.
        (void)!::send(inputFds[1], input->data(), result == 0 ? input->size() : 0, MSG_NOSIGNAL);
        ::close(inputFds[1]);
    }
    if (result != 0) {
        ::close(pipeFds[0]);
        throw std::runtime_error("cannot start " + executable);
    }
    outputFd = pipeFds[0];
    return pid;
}

int exitStatus(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

}  // namespace

ShelfProcess::ShelfProcess(const std::string& executable, std::vector<std::string> arguments, const Users& users) {
    std::optional<std::string> input;
    if (!users.empty()) {
        arguments.insert(arguments.end(), {"--user-file", "-"});
        input.emplace();
        for (const auto& [email, password] : users) {
            *input += email + ":" + password + "\n";
        }
    }
    int fd = -1;
    pid_ = spawn(executable, arguments, fd, input);
    reader_ = std::thread([this, fd] { readOutput(fd); });
    static const std::regex serving(R"(serving https?://[^ ]*:([0-9]+)/)");
    std::unique_lock lock(mutex_);
    std::smatch match;
    changed_.wait_for(lock, std::chrono::seconds(60),
                      [&] { return closed_ || std::regex_search(output_, match, serving); });
    if (!std::regex_search(output_, match, serving)) {
        const std::string said = output_;
        lock.unlock();
        sendSignal(SIGKILL);
        wait(std::chrono::seconds(10));
        reader_.join();
        throw std::runtime_error("tomely-shelf did not start: " + said);
    }
    port_ = std::stoi(match[1].str());
}

ShelfProcess::ShelfProcess(const std::string& executable, const std::vector<std::string>& arguments,
                           const std::string& input) {
    int fd = -1;
    pid_ = spawn(executable, arguments, fd, input);
    reader_ = std::thread([this, fd] { readOutput(fd); });
}

ShelfProcess::~ShelfProcess() {
    if (!reaped_) {
        sendSignal(SIGKILL);
        wait(std::chrono::seconds(10));
    }
    if (reader_.joinable()) {
        reader_.join();
    }
}

void ShelfProcess::sendSignal(int signal) const {
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, signal);
    }
}

void ShelfProcess::readOutput(int fd) {
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        std::scoped_lock lock(mutex_);
        if (count <= 0) {
            closed_ = true;
            changed_.notify_all();
            break;
        }
        output_.append(buffer, static_cast<std::size_t>(count));
        changed_.notify_all();
    }
    ::close(fd);
}

int ShelfProcess::wait(std::chrono::seconds deadline) {
    {
        // The child's output closes when it exits (nothing else holds the pipe's write end).
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, deadline, [this] { return closed_; })) {
            return -1;
        }
    }
    if (!reaped_) {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        status_ = exitStatus(status);
        reaped_ = true;
    }
    return status_;
}

bool ShelfProcess::waitForOutput(const std::string& text, std::chrono::seconds deadline) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, deadline, [&] { return closed_ || output_.find(text) != std::string::npos; }) &&
           output_.find(text) != std::string::npos;
}

bool ShelfProcess::waitForOutput(const std::regex& pattern, std::smatch& match, std::chrono::seconds deadline) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, deadline, [&] { return closed_ || std::regex_search(output_, pattern); });
    matched_ = output_;
    return std::regex_search(matched_, match, pattern);
}

std::string ShelfProcess::output() const {
    std::scoped_lock lock(mutex_);
    return output_;
}

std::pair<int, std::string> ShelfProcess::runToEnd(const std::string& executable,
                                                   const std::vector<std::string>& arguments) {
    ShelfProcess process(executable, arguments, std::string());
    const int status = process.wait(std::chrono::seconds(60));
    return {status, process.output()};
}

}  // namespace tomely::shelf::client
