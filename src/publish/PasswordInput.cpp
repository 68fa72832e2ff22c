#include "publish/PasswordInput.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <optional>

namespace tomely {
namespace {

// One byte from `fd`, carrying on after an interrupted call; none at the end of the input or on
// an error.
std::optional<char> readByte(int fd) {
    char byte = 0;
    for (;;) {
        const ssize_t count = ::read(fd, &byte, 1);
        if (count == 1) {
            return byte;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        return std::nullopt;
    }
}

// Takes `byte` into the line; true once the line has ended.
bool takeByte(char byte, SecretText& password) {
    if (byte == '\n') {
        if (password.text().ends_with('\r')) {
            password.removeLast();
        }
        return true;
    }
    password.append(std::string_view(&byte, 1));
    return false;
}

// Turns echo off on a terminal for as long as it lives, and puts the terminal back as it was.
class EchoOff {
public:
    explicit EchoOff(int terminal) : terminal_(terminal) {
        if (::tcgetattr(terminal_, &saved_) != 0) {
            return;
        }
        termios quiet = saved_;
        // The line end still shows, so that what comes next starts on a line of its own.
        quiet.c_lflag = (quiet.c_lflag & ~tcflag_t{ECHO}) | tcflag_t{ECHONL};
        changed_ = ::tcsetattr(terminal_, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (changed_) {
            (void)::tcsetattr(terminal_, TCSAFLUSH, &saved_);
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int terminal_;
    termios saved_{};
    bool changed_ = false;
};

}  // namespace

bool readPasswordLine(int fd, SecretText& password) {
    bool readAny = false;
    while (const std::optional<char> byte = readByte(fd)) {
        readAny = true;
        if (takeByte(*byte, password)) {
            break;
        }
    }
    return readAny;
}

PasswordPrompt::PasswordPrompt() {
    std::array<int, 2> ends{-1, -1};
    if (::pipe2(ends.data(), O_CLOEXEC) == 0) {
        wakeRead_ = FileDescriptor(ends[0]);
        wakeWrite_ = FileDescriptor(ends[1]);
    }
}

void PasswordPrompt::interrupt() const {
    const char wake = 1;
    (void)!::write(wakeWrite_.get(), &wake, 1);
}

PasswordPrompt::Outcome PasswordPrompt::ask(int terminal, std::string_view prompt, SecretText& password) {
    const EchoOff echoOff(terminal);
    (void)!::write(terminal, prompt.data(), prompt.size());
    bool readAny = false;
    for (;;) {
        std::array<pollfd, 2> watched{{{terminal, POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}}};
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return readAny ? Outcome::Read : Outcome::Ended;
        }
        if (watched[1].revents != 0) {
            (void)!::write(terminal, "\n", 1);
            return Outcome::Interrupted;
        }
        const std::optional<char> byte = readByte(terminal);
        if (!byte) {
            return readAny ? Outcome::Read : Outcome::Ended;
        }
        readAny = true;
        if (takeByte(*byte, password)) {
            return Outcome::Read;
        }
    }
}

}  // namespace tomely
