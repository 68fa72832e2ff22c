#include "BareStream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "common/LoopbackAddress.h"

namespace tomely::bench {
namespace {

// Every read and write of the socket gives up after a minute.
void setDeadlines(int socket) {
    const timeval minute{60, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &minute, sizeof minute);
    ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &minute, sizeof minute);
}

// Reads `bytes` from the one connection it accepts, then answers one byte.
void sink(int listener, std::uint64_t bytes) {
    const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) {
        return;
    }
    setDeadlines(connection);
    std::vector<char> buffer(256 * 1024);
    std::uint64_t received = 0;
    for (ssize_t got = 1; received < bytes && got > 0;) {
        got = ::recv(connection, buffer.data(),
                     static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), bytes - received)), 0);
        received += got > 0 ? static_cast<std::uint64_t>(got) : 0;
    }
    if (received == bytes) {
        (void)::send(connection, "!", 1, MSG_NOSIGNAL);
    }
    ::close(connection);
}

}  // namespace

std::optional<double> bareStreamSeconds(const test::NetworkEmulator::Options& line, std::uint64_t bytes) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = test::loopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener);
        return std::nullopt;
    }
    std::thread receiver([listener, bytes] { sink(listener, bytes); });
    std::optional<double> seconds;
    {
        test::NetworkEmulator::Options toSink = line;
        toSink.targetPort = ntohs(address.sin_port);
        test::NetworkEmulator emulator(toSink);
        const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        setDeadlines(client);
        const sockaddr_in proxy = test::loopbackAddress(emulator.port());
        const std::vector<char> block(256 * 1024, 'x');
        const auto start = std::chrono::steady_clock::now();
        bool sent = ::connect(client, reinterpret_cast<const sockaddr*>(&proxy), sizeof proxy) == 0;
        for (std::uint64_t left = bytes; sent && left > 0;) {
            const ssize_t put =
                ::send(client, block.data(), static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), left)),
                       MSG_NOSIGNAL);
            sent = put > 0;
            left -= sent ? static_cast<std::uint64_t>(put) : 0;
        }
        char answer = 0;
        if (sent && ::recv(client, &answer, 1, 0) == 1) {
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        ::close(client);
    }
    ::shutdown(listener, SHUT_RDWR);
    receiver.join();
    ::close(listener);
    return seconds;
}

}  // namespace tomely::bench
