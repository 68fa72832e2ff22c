#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tomely {

// An absolute URL as curl's URL API understands it. Immutable and cheap to copy; safe to use on
// any thread. A text curl cannot parse makes an invalid URL that still remembers its text, so a
// request can report which URL it could not use.
class URL {
public:
    URL() = default;
    explicit URL(std::string_view text);

    [[nodiscard]] bool isValid() const { return valid_; }
    // The normalised absolute form, or the text as given when the URL is invalid.
    [[nodiscard]] const std::string& absoluteString() const { return absolute_; }
    // Lower-case scheme ("https"), lower-case host (an IPv6 address in brackets).
    [[nodiscard]] const std::string& scheme() const { return scheme_; }
    [[nodiscard]] const std::string& host() const { return host_; }
    // The explicit port, else the scheme's default.
    [[nodiscard]] int port() const { return port_; }
    // Never empty for a valid URL: "/" at least.
    [[nodiscard]] const std::string& path() const { return path_; }
    // `reference` resolved against this URL (an absolute path replaces the path; an absolute URL
    // replaces everything). Invalid when either cannot be parsed.
    [[nodiscard]] URL resolve(std::string_view reference) const;

    friend bool operator==(const URL& a, const URL& b) { return a.absolute_ == b.absolute_ && a.valid_ == b.valid_; }

private:
    bool valid_ = false;
    std::string absolute_;
    std::string scheme_;
    std::string host_;
    std::string path_;
    int port_ = 0;
};

}  // namespace tomely
