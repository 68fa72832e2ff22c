#include "ShelfHarness.h"

#include <cstdlib>
#include <random>
#include <system_error>

namespace tomely::shelf::test {

TemporaryDirectory::TemporaryDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tomely-shelf-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ServerOptions testOptions(const std::filesystem::path& dataDirectory) {
    ServerOptions options;
    options.host = "127.0.0.1";
    options.port = 0;
    options.dataDirectory = dataDirectory;
    options.shelf.passwordIterations = 1000;
    return options;
}

RunningShelf::RunningShelf(ServerOptions options) {
    options.log = [this](const std::string& line) {
        {
            std::scoped_lock lock(mutex_);
            lines_.push_back(line);
        }
        logged_.notify_all();
    };
    server_ = std::make_unique<ShelfServer>(std::move(options));
    // Bound and listening before the thread starts: clients may connect at once.
    port_ = server_->bind();
    thread_ = std::thread([this] { server_->run(); });
}

RunningShelf::~RunningShelf() {
    server_->stop();
    thread_.join();
}

std::vector<std::string> RunningShelf::logLines(std::size_t count) const {
    std::unique_lock lock(mutex_);
    logged_.wait_for(lock, std::chrono::seconds(10), [&] { return lines_.size() >= count; });
    return lines_;
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

std::string noise(std::size_t length, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(length, '\0');
    for (auto& byte : bytes) {
        byte = static_cast<char>(random() & 0xffU);
    }
    return bytes;
}

std::map<std::string, std::string> sampleBook(unsigned seed) {
    return {{"/index.xml", "<sl:textbook sl:GUID=\"G" + std::to_string(seed) + "\">text</sl:textbook>"},
            {"/images/cover.png", noise(2500000, seed)},
            {"/empty", ""}};
}

}  // namespace tomely::shelf::test
