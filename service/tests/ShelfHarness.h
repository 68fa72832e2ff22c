#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "ShelfClient.h"
#include "ShelfServer.h"
#include "common/TemporaryDirectory.h"

namespace tomely::shelf::test {

using ::tomely::test::randomBytes;
using ::tomely::test::TemporaryDirectory;

// The service, in this process, on 127.0.0.1 and a port it picks, serving on a thread of its
// own until the object is destroyed.
class RunningShelf {
public:
    explicit RunningShelf(ServerOptions options);
    ~RunningShelf();
    RunningShelf(const RunningShelf&) = delete;
    RunningShelf& operator=(const RunningShelf&) = delete;

    [[nodiscard]] int port() const { return port_; }
    [[nodiscard]] ShelfServer& server() { return *server_; }

private:
    std::unique_ptr<ShelfServer> server_;
    int port_ = 0;
    std::thread thread_;
};

// A client that does what the HTTP library's cannot: read an answer before it has sent the body,
// or send a request a byte at a time. Reads and writes give up after 30 seconds.
class RawConnection {
public:
    explicit RawConnection(int port);
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    void send(const std::string& bytes);
    // Everything until the other side ends its sending.
    std::string receiveToEnd();
    // Sends filler until the connection is reset, at most `limit` bytes; whether it was reset.
    bool sendUntilReset(std::size_t limit);

private:
    int socket_;
};

// Options for a test service: a cheap password hash, a port picked by the system.
[[nodiscard]] ServerOptions testOptions(const std::filesystem::path& dataDirectory);

// A test with a running service and two authors, Ada and Bob.
class ShelfTest : public ::testing::Test {
protected:
    static constexpr const char* kAda = "ada@example.com";
    static constexpr const char* kAdaPassword = "ada-secret";
    static constexpr const char* kBob = "bob@example.com";
    static constexpr const char* kBobPassword = "bob-secret";

    void SetUp() override;
    // Starts the service (again) on the same data directory, with these options changed.
    void restart(const std::function<void(ServerOptions&)>& change = {});

    [[nodiscard]] std::unique_ptr<client::ShelfClient> anonymous() const;
    [[nodiscard]] std::unique_ptr<client::ShelfClient> signedIn(const std::string& email,
                                                                const std::string& password) const;

    TemporaryDirectory data_;
    std::unique_ptr<RunningShelf> shelf_;
};

// A small book: index.xml, a 2,500,000-byte picture (three parts) and an empty file.
[[nodiscard]] std::map<std::string, std::string> sampleBook(unsigned seed);
// Standard raw deflate, ending with a final block: what another client could send.
[[nodiscard]] std::string deflateWithFinalBlock(const std::string& bytes);

// The author's books as the list call gives them.
[[nodiscard]] nlohmann::json booksOf(client::ShelfClient& author);
// The files of one of the list's downloads, keyed as the sync keys them (with a leading "/").
[[nodiscard]] std::map<std::string, std::string> downloadedFiles(client::ShelfClient& author,
                                                                 const nlohmann::json& download);

}  // namespace tomely::shelf::test
