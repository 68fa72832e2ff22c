#include "platform/SecretText.h"

#include <string.h>

#include <algorithm>

namespace tomely {

void eraseSecret(std::string& text) noexcept {
    // Growing to the capacity never moves the buffer, and makes all of it ours to write.
    text.resize(text.capacity());
    ::explicit_bzero(text.data(), text.size());
    text.clear();
}

void eraseSecret(std::vector<std::uint8_t>& bytes) noexcept {
    // A vector that never held anything has no buffer at all.
    if (bytes.capacity() != 0) {
        bytes.resize(bytes.capacity());
        ::explicit_bzero(bytes.data(), bytes.size());
        bytes.clear();
    }
}

SecretText::SecretText(SecretText&& other) noexcept
    : text_(std::move(other.text_)), notDumpable_(std::move(other.notDumpable_)) {
    eraseSecret(other.text_);
}

SecretText& SecretText::operator=(SecretText&& other) noexcept {
    if (this != &other) {
        erase();
        text_ = std::move(other.text_);
        eraseSecret(other.text_);
        notDumpable_ = std::move(other.notDumpable_);
    }
    return *this;
}

void SecretText::append(std::string_view more) {
    if (text_.size() + more.size() > text_.capacity()) {
        std::string larger;
        larger.reserve(std::max(2 * text_.capacity(), text_.size() + more.size()));
        larger.append(text_);
        eraseSecret(text_);
        text_.swap(larger);
    }
    text_.append(more);
}

void SecretText::removeLast() {
    if (!text_.empty()) {
        text_.back() = '\0';
        text_.pop_back();
    }
}

void SecretText::erase() noexcept {
    eraseSecret(text_);
    notDumpable_.release();
}

}  // namespace tomely
