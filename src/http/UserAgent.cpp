#include "http/UserAgent.h"

#include <sys/utsname.h>
#include <unicode/uloc.h>

#include <cctype>
#include <mutex>

namespace tomely {
namespace {

std::mutex userAgentMutex;
std::optional<std::string> cachedUserAgent;

// The leading decimal number of `text`, consumed; nothing when it does not start with a digit.
std::optional<unsigned long> takeNumber(std::string_view& text) {
    std::size_t length = 0;
    unsigned long number = 0;
    while (length < text.size() && length < 9 && std::isdigit(static_cast<unsigned char>(text[length])) != 0) {
        number = number * 10 + static_cast<unsigned long>(text[length] - '0');
        ++length;
    }
    if (length == 0) {
        return std::nullopt;
    }
    text.remove_prefix(length);
    return number;
}

}  // namespace

ApplicationInfo applicationInfo() {
    return ApplicationInfo{TOMELY_APPLICATION_NAME, TOMELY_APPLICATION_NAME, TOMELY_APPLICATION_VERSION,
                           TOMELY_APPLICATION_VERSION};
}

std::optional<std::string> makeDefaultUserAgent(const ApplicationInfo& info, std::string_view kernelRelease,
                                                std::string_view localeIdentifier) {
    const std::string& name = info.displayName.empty() ? info.name : info.displayName;
    if (name.empty()) {
        return std::nullopt;
    }
    std::string version = info.shortVersion.empty() ? info.bundleVersion : info.shortVersion;
    if (!info.shortVersion.empty() && !info.bundleVersion.empty() && info.shortVersion != info.bundleVersion) {
        version = info.shortVersion + " rv:" + info.bundleVersion;
    }
    // "6.1.0-18-amd64": major, minor and patch level.
    std::string osVersion;
    for (int part = 0; part < 3; ++part) {
        if (part > 0) {
            if (kernelRelease.empty() || kernelRelease.front() != '.') {
                return std::nullopt;
            }
            kernelRelease.remove_prefix(1);
            osVersion += '.';
        }
        const auto number = takeNumber(kernelRelease);
        if (!number) {
            return std::nullopt;
        }
        osVersion += std::to_string(*number);
    }
    return name + " " + version + " (X11; Linux " + osVersion + "; " + std::string(localeIdentifier) + ")";
}

std::optional<std::string> defaultUserAgentString() {
    std::scoped_lock lock(userAgentMutex);
    if (!cachedUserAgent) {
        utsname system{};
        if (uname(&system) != 0) {
            return std::nullopt;
        }
        // Not cached when it cannot be made: the next request tries again.
        cachedUserAgent = makeDefaultUserAgent(applicationInfo(), system.release, uloc_getDefault());
    }
    return cachedUserAgent;
}

void setDefaultUserAgentString(std::string userAgent) {
    std::scoped_lock lock(userAgentMutex);
    cachedUserAgent = std::move(userAgent);
}

}  // namespace tomely
