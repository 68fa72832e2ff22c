#include "platform/SystemLog.h"

#include <syslog.h>

#include <algorithm>
#include <mutex>
#include <string>

namespace tomely::SystemLog {
namespace {

std::mutex captureMutex;
std::vector<Capture*> captures;

}  // namespace

void write(std::string_view line) {
    const std::string text(line);
    ::syslog(LOG_USER | LOG_NOTICE, "%s", text.c_str());
    std::scoped_lock lock(captureMutex);
    for (Capture* capture : captures) {
        capture->append(line);
    }
}

Capture::Capture() {
    std::scoped_lock lock(captureMutex);
    captures.push_back(this);
}

Capture::~Capture() {
    std::scoped_lock lock(captureMutex);
    captures.erase(std::remove(captures.begin(), captures.end(), this), captures.end());
}

std::vector<std::string> Capture::lines() const {
    std::scoped_lock lock(captureMutex);
    return lines_;
}

void Capture::append(std::string_view line) {
    lines_.emplace_back(line);
}

}  // namespace tomely::SystemLog
