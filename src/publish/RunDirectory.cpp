#include "publish/RunDirectory.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <filesystem>

#include "platform/PosixError.h"
#include "support/SupportDirectories.h"

namespace tomely {
namespace {

constexpr std::string_view kRunPrefix = "run-";
// A run's directory while its lock is made, before it takes its run name.
constexpr std::string_view kStartingPrefix = ".starting-";
constexpr std::string_view kLockName = "/lock";
// A start takes a few system calls; a starting directory this old was left by a crash.
constexpr auto kStartingLeftAfter = std::chrono::hours(1);

enum class RunState { Live, Abandoned, Unknown };

// What the lock file in `directory` tells of its run. When no run holds the lock, it is taken into
// `lock`, and kept until the directory is gone. `createMissingLock` makes a missing lock file
// first (and takes it); without it, a missing lock file means the run was abandoned.
RunState stateOfRun(const std::string& directory, bool createMissingLock, FileDescriptor& lock) {
    const int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | (createMissingLock ? O_CREAT : 0);
    const int fd = ::open((directory + std::string(kLockName)).c_str(), flags, S_IRUSR | S_IWUSR);
    const int openFailure = errno;
    lock = FileDescriptor(fd);
    if (!lock.isOpen()) {
        return openFailure == ENOENT && !createMissingLock ? RunState::Abandoned : RunState::Unknown;
    }
    return ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0 ? RunState::Abandoned : RunState::Live;
}

bool startedLongAgo(const std::filesystem::directory_entry& entry) {
    std::error_code failure;
    const auto changed = entry.last_write_time(failure);
    return !failure && std::filesystem::file_time_type::clock::now() - changed > kStartingLeftAfter;
}

// Removes what runs that ended without cleaning up left in `runs`. A "run-" directory without a
// lock file counts as left too (made by a version that kept no lock, or its removal was cut short
// after the lock file went): a live run's directory always has one. The lock of an abandoned
// directory is held while it is removed, so two runs starting at once do not trip over each other.
void removeAbandonedRuns(const std::string& runs) {
    std::error_code failure;
    for (const auto& entry : std::filesystem::directory_iterator(runs, failure)) {
        const std::string name = entry.path().filename().string();
        const bool run = name.starts_with(kRunPrefix);
        if (!entry.is_directory(failure) || entry.is_symlink(failure) ||
            !(run || (name.starts_with(kStartingPrefix) && startedLongAgo(entry)))) {
            continue;
        }
        const std::string path = entry.path().string();
        FileDescriptor lock;
        if (stateOfRun(path, run, lock) == RunState::Abandoned) {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    }
}

}  // namespace

std::optional<RunDirectory> RunDirectory::create(Error* error) {
    const std::optional<std::string> runs = findOrCreateDirectory(
        SearchPathDirectory::Caches, SearchPathDomainMask::User, std::string(kExecutableName) + "/runs", error);
    if (!runs) {
        return std::nullopt;
    }
    removeAbandonedRuns(*runs);
    for (;;) {
        std::string starting = *runs + "/" + std::string(kStartingPrefix) + "XXXXXX";
        if (::mkdtemp(starting.data()) == nullptr) {
            report(error, posixError(errno, "Could not create a directory in \"" + *runs + "\""));
            return std::nullopt;
        }
        const std::string lockPath = starting + std::string(kLockName);
        FileDescriptor lock(
            ::open(lockPath.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR));
        if (!lock.isOpen() || ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
            report(error, posixError(errno, "Could not lock \"" + lockPath + "\""));
            std::error_code ignored;
            std::filesystem::remove_all(starting, ignored);
            return std::nullopt;
        }
        // Named like the starting directory; never onto another run's, which holds its lock file.
        std::string path = *runs + "/" + std::string(kRunPrefix) + starting.substr(starting.size() - 6);
        if (::rename(starting.c_str(), path.c_str()) == 0) {
            return RunDirectory(std::move(path), std::move(lock));
        }
        const int renameFailure = errno;
        std::error_code ignored;
        std::filesystem::remove_all(starting, ignored);
        if (renameFailure != EEXIST && renameFailure != ENOTEMPTY) {
            report(error, posixError(renameFailure, "Could not name the directory \"" + path + "\""));
            return std::nullopt;
        }
    }
}

RunDirectory::~RunDirectory() {
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

}  // namespace tomely
