#include "Faults.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <charconv>
#include <filesystem>
#include <system_error>

namespace tomely::shelf {

namespace {

int portOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    }
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    }
    return -1;
}

}  // namespace

std::optional<FaultKind> faultKindFromText(const std::string& text) {
    if (text == "500") {
        return FaultKind::InternalError;
    }
    if (text == "503") {
        return FaultKind::Unavailable;
    }
    if (text == "drop") {
        return FaultKind::Drop;
    }
    if (text == "stall") {
        return FaultKind::Stall;
    }
    return std::nullopt;
}

bool FaultInjector::nextPartFails() {
    if (!settings_.afterParts) {
        return false;
    }
    std::scoped_lock lock(mutex_);
    if (partsPassed_ < *settings_.afterParts) {
        ++partsPassed_;
        return false;
    }
    return true;
}

void FaultInjector::stall() {
    std::unique_lock lock(mutex_);
    released_.wait_for(lock, settings_.stallLimit, [this] { return stopping_; });
}

void FaultInjector::releaseStalls() {
    {
        std::scoped_lock lock(mutex_);
        stopping_ = true;
    }
    released_.notify_all();
}

bool FaultInjector::dropConnection(int localPort, int remotePort) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        int fd = -1;
        const std::string name = entry.path().filename().string();
        if (std::from_chars(name.data(), name.data() + name.size(), fd).ec != std::errc()) {
            continue;
        }
        sockaddr_storage local{};
        sockaddr_storage peer{};
        socklen_t localLength = sizeof local;
        socklen_t peerLength = sizeof peer;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
            ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) {
            continue;
        }
        if (portOf(local) == localPort && portOf(peer) == remotePort) {
            ::shutdown(fd, SHUT_RDWR);
            return true;
        }
    }
    return false;
}

}  // namespace tomely::shelf
