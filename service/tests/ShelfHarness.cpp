#include "ShelfHarness.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>

namespace tomely::shelf::test {

RawConnection::RawConnection(int port) : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
    const timeval limit{30, 0};
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
}

RawConnection::~RawConnection() {
    close(socket_);
}

void RawConnection::send(const std::string& bytes) {
    EXPECT_EQ(::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

std::string RawConnection::receiveToEnd() {
    std::string received;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = recv(socket_, buffer, sizeof buffer, 0)) > 0) {
        received.append(buffer, static_cast<std::size_t>(got));
    }
    EXPECT_EQ(got, 0) << "no end, errno " << errno;
    return received;
}

bool RawConnection::sendUntilReset(std::size_t limit) {
    const std::string filler(64U * 1024U, 'x');
    for (std::size_t sent = 0; sent < limit;) {
        const ssize_t written = ::send(socket_, filler.data(), filler.size(), MSG_NOSIGNAL);
        if (written < 0) {
            return errno == EPIPE || errno == ECONNRESET;
        }
        sent += static_cast<std::size_t>(written);
    }
    return false;
}

ServerOptions testOptions(const std::filesystem::path& dataDirectory) {
    ServerOptions options;
    options.host = "127.0.0.1";
    options.port = 0;
    options.dataDirectory = dataDirectory;
    options.shelf.passwordIterations = 1000;
    options.log = [](const std::string&) {};
    return options;
}

RunningShelf::RunningShelf(ServerOptions options)
    : server_(std::make_unique<ShelfServer>(std::move(options))),
      // Bound and listening before the thread starts: clients may connect at once.
      port_(server_->bind()),
      thread_([this] { server_->run(); }) {}

RunningShelf::~RunningShelf() {
    server_->stop();
    thread_.join();
}

void ShelfTest::SetUp() {
    restart();
    ASSERT_TRUE(shelf_->server().shelf().setPassword(kAda, kAdaPassword));
    ASSERT_TRUE(shelf_->server().shelf().setPassword(kBob, kBobPassword));
}

void ShelfTest::restart(const std::function<void(ServerOptions&)>& change) {
    shelf_.reset();
    auto options = testOptions(data_.path());
    if (change) {
        change(options);
    }
    shelf_ = std::make_unique<RunningShelf>(std::move(options));
}

std::unique_ptr<client::ShelfClient> ShelfTest::anonymous() const {
    return std::make_unique<client::ShelfClient>("127.0.0.1", shelf_->port(), shelf_->server().usesTls());
}

std::unique_ptr<client::ShelfClient> ShelfTest::signedIn(const std::string& email, const std::string& password) const {
    auto client = anonymous();
    const auto reply = client->signIn(email, password);
    EXPECT_EQ(reply.status, 200) << reply.body;
    return client;
}

std::map<std::string, std::string> sampleBook(unsigned seed) {
    return {{"/index.xml", "<sl:textbook sl:GUID=\"G" + std::to_string(seed) + "\">text</sl:textbook>"},
            {"/images/cover.png", randomBytes(2500000, seed)},
            {"/empty", ""}};
}

std::string deflateWithFinalBlock(const std::string& bytes) {
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())) + 16, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(out.size() - stream.avail_out);
    deflateEnd(&stream);
    return out;
}

nlohmann::json booksOf(client::ShelfClient& author) {
    const auto reply = author.list();
    EXPECT_EQ(reply.status, 200);
    return nlohmann::json::parse(reply.body, nullptr, false);
}

std::map<std::string, std::string> downloadedFiles(client::ShelfClient& author, const nlohmann::json& download) {
    const auto reply = author.get(download.at("url").get<std::string>());
    EXPECT_EQ(reply.status, 200);
    const auto files = client::unzipAll(reply.body);
    EXPECT_TRUE(files.has_value()) << "not a zip archive";
    std::map<std::string, std::string> keyed;
    for (const auto& [name, content] : files.value_or(std::map<std::string, std::string>{})) {
        keyed["/" + name] = content;
    }
    return keyed;
}

}  // namespace tomely::shelf::test
