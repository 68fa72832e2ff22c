#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tomely {

// What the application says about itself in its default "User-Agent".
struct ApplicationInfo {
    std::string displayName;
    std::string name;
    std::string shortVersion;
    std::string bundleVersion;
};

// The application's own information, fixed at build time.
[[nodiscard]] ApplicationInfo applicationInfo();

// "<name> <version> (X11; Linux <major>.<minor>.<patch>; <locale>)", e.g.
// "Tomely Uploader 1.0.0 (X11; Linux 6.1.0; en_GB)". The version is the short version, followed by
// " rv:" and the bundle version when both exist and differ. Nothing without a name, or when the
// kernel release does not start with three numbers. Pure.
[[nodiscard]] std::optional<std::string> makeDefaultUserAgent(const ApplicationInfo& info,
                                                              std::string_view kernelRelease,
                                                              std::string_view localeIdentifier);

// The default user agent of this process: computed from the running kernel and the current
// locale the first time it can be, then kept. Thread-safe.
[[nodiscard]] std::optional<std::string> defaultUserAgentString();
// Replaces the default user agent for every later request. Thread-safe.
void setDefaultUserAgentString(std::string userAgent);

}  // namespace tomely
