#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>

namespace tomely::test {

// 127.0.0.1 at `port` (0: a port the system picks when bound).
[[nodiscard]] inline sockaddr_in loopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

}  // namespace tomely::test
