#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/NotDumpable.h"

namespace tomely {

// Overwrites all the memory `text` owns (its whole capacity, so also what a longer earlier value
// left there) in a way the compiler cannot leave out, then empties it.
void eraseSecret(std::string& text) noexcept;
void eraseSecret(std::vector<std::uint8_t>& bytes) noexcept;

// A password, or any other text that must not linger: from its making until it is erased the
// process is not dumpable (NotDumpableScope), and every buffer that held it is overwritten before
// it is let go, when the text grows, moves, is erased or goes. Making an empty one first, before
// the password is read into it, covers the reading too. Move-only; not shared between threads.
class SecretText {
public:
    SecretText() = default;
    // Takes `text` over and overwrites what the move left behind in it.
    explicit SecretText(std::string&& text) : text_(std::move(text)) { eraseSecret(text); }
    SecretText(SecretText&& other) noexcept;
    SecretText& operator=(SecretText&& other) noexcept;
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    ~SecretText() { erase(); }

    [[nodiscard]] const std::string& text() const { return text_; }
    [[nodiscard]] bool empty() const { return text_.empty(); }
    // Appends `more`; when the buffer must grow, the old one is overwritten.
    void append(std::string_view more);
    // Removes the last character; an empty text stays empty.
    void removeLast();
    // Overwrites the text and ends its hold on the process's dumpability.
    void erase() noexcept;

private:
    std::string text_;
    NotDumpableScope notDumpable_;
};

}  // namespace tomely
