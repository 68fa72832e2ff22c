#pragma once

#include <string_view>

#include "platform/FileIO.h"
#include "platform/SecretText.h"

namespace tomely {

// Reads one line from `fd` into `password`, without its line end ("\n" or "\r\n"): Enter ends
// it, and nothing after it is taken. Byte by byte, straight from the descriptor, so that no stream
// buffer keeps a copy. False when the input ended before anything was read.
bool readPasswordLine(int fd, SecretText& password);

// Asks the author for the password on the terminal `terminal`: `prompt` goes to it, what is typed
// is not echoed, and the terminal is put back as it was whatever happens. interrupt() (from any
// thread, such as the one that receives Ctrl-C) ends a prompt under way as Interrupted.
class PasswordPrompt {
public:
    enum class Outcome { Read, Ended, Interrupted };

    PasswordPrompt();

    [[nodiscard]] Outcome ask(int terminal, std::string_view prompt, SecretText& password);
    // Any thread.
    void interrupt() const;

private:
    // Written to by interrupt(), watched by ask().
    FileDescriptor wakeRead_;
    FileDescriptor wakeWrite_;
};

}  // namespace tomely
