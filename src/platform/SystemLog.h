#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tomely::SystemLog {

// Writes one line to the system log (syslog, facility user).
void write(std::string_view line);

// Collects the lines written while it exists, in addition to sending them to syslog, so that
// tests can read what a component logged. Captures may nest; each sees every line.
class Capture {
public:
    Capture();
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    [[nodiscard]] std::vector<std::string> lines() const;

private:
    friend void write(std::string_view line);
    void append(std::string_view line);

    std::vector<std::string> lines_;
};

}  // namespace tomely::SystemLog
