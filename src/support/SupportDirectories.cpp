#include "support/SupportDirectories.h"

#include <algorithm>
#include <cstdlib>

#include "platform/PosixError.h"
#include "platform/PrivateFiles.h"
#include "platform/SystemLog.h"

namespace tomely {
namespace {

// An environment value counts only when it is an absolute path: a relative XDG_DATA_HOME is
// invalid and to be ignored, and a relative HOME would put the data wherever the process
// happens to run.
std::optional<std::string> absoluteEnvironmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') {
        return std::nullopt;
    }
    return std::string(value);
}

// The list the platform offers for a kind of directory; empty when it knows no location.
std::optional<std::string> firstSearchPath(SearchPathDirectory directory, SearchPathDomainMask domain) {
    if (domain != SearchPathDomainMask::User) {
        return std::nullopt;
    }
    const bool caches = directory == SearchPathDirectory::Caches;
    if (auto base = absoluteEnvironmentPath(caches ? "XDG_CACHE_HOME" : "XDG_DATA_HOME")) {
        return base;
    }
    if (auto home = absoluteEnvironmentPath("HOME")) {
        return *home + (caches ? "/.cache" : "/.local/share");
    }
    return std::nullopt;
}

// The directories the application names below the user's base are its own: one made by an older
// version with the umask's permissions is closed to others now. What cannot be changed (it is
// someone else's) stays as it is; the directory is usable all the same.
void restrictOwnComponents(const std::string& base, std::string_view components) {
    std::string path = base;
    for (std::size_t start = 0; start < components.size();) {
        const std::size_t end = std::min(components.find('/', start), components.size());
        path += components.substr(start, end - start);
        (void)restrictToOwner(path);
        path += '/';
        start = end + 1;
    }
}

// The platform's textual form of an error, as it appears in log lines.
std::string describe(const Error& error) {
    std::string text = "Error Domain=" + error.domain + " Code=" + std::to_string(error.code) + " \"" +
                       error.localizedDescription() + "\" UserInfo={";
    bool first = true;
    for (const auto& [key, value] : error.userInfo) {
        text += (first ? "" : ", ") + key + "=" + value;
        first = false;
    }
    return text + "}";
}

}  // namespace

std::optional<std::string> findOrCreateDirectory(SearchPathDirectory directory, SearchPathDomainMask domain,
                                                 std::optional<std::string_view> appendPathComponent, Error* error) {
    auto base = firstSearchPath(directory, domain);
    if (!base) {
        Error missing = Error::make(std::string(kSupportDirectoryErrorDomain), kSupportDirectoryNoPathFoundError,
                                    std::string(kNoPathFoundDescription));
        missing.userInfo.emplace(kSearchPathDirectoryKey, std::to_string(static_cast<long>(directory)));
        missing.userInfo.emplace(kSearchPathDomainMaskKey, std::to_string(static_cast<unsigned long>(domain)));
        report(error, std::move(missing));
        return std::nullopt;
    }
    std::string path = std::move(*base);
    if (appendPathComponent) {
        while (path.size() > 1 && path.back() == '/') {
            path.pop_back();
        }
        path += '/';
        path += *appendPathComponent;
    }
    Error failure;
    if (!createPrivateDirectories(path, &failure)) {
        report(error, posixError(static_cast<int>(failure.code), "Could not create the directory \"" + path + "\""));
        return std::nullopt;
    }
    if (appendPathComponent) {
        restrictOwnComponents(path.substr(0, path.size() - appendPathComponent->size()), *appendPathComponent);
    }
    report(error, Error{});
    return path;
}

std::optional<std::string> applicationSupportDirectory() {
    Error error;
    auto path = findOrCreateDirectory(SearchPathDirectory::ApplicationSupport, SearchPathDomainMask::User,
                                      kExecutableName, &error);
    if (!path) {
        SystemLog::write("Unable to find or create application support directory:\n" + describe(error));
    }
    return path;
}

std::optional<std::string> cachesDirectory(Error* error) {
    return findOrCreateDirectory(SearchPathDirectory::Caches, SearchPathDomainMask::User, kExecutableName, error);
}

}  // namespace tomely
