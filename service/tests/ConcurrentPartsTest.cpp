#include <algorithm>

#include <nlohmann/json.hpp>

#include "ShelfHarness.h"

namespace tomely::shelf::test {
namespace {

using ConcurrentPartsTest = ShelfTest;

// The status and the JSON body of a whole answer as it came off the connection.
std::pair<int, nlohmann::json> statusAndBody(const std::string& answer) {
    const std::size_t space = answer.find(' ');
    const std::size_t bodyStart = answer.find("\r\n\r\n");
    if (space == std::string::npos || bodyStart == std::string::npos) {
        return {0, nullptr};
    }
    return {std::stoi(answer.substr(space + 1, 3)),
            nlohmann::json::parse(answer.substr(bodyStart + 4), nullptr, false)};
}

// A client with several parts in flight: every part of the book is under way on a connection of
// its own, all but its last byte sent, before any of them is finished. One of the largest parts,
// whose body a worker of the service is reading by then, waits until every other one is answered,
// which a service that served one connection at a time could never do; the others end together,
// so they are checked and stored side by side.
TEST_F(ConcurrentPartsTest, PartsOfOneBookOnSeveralConnectionsAreTakenAtOnceAndTheBookFinishesOnce) {
    auto ada = signedIn(kAda, kAdaPassword);
    const auto book = sampleBook(41);
    const auto parts = client::splitBook(book);
    const client::Target target{{}, "At Once"};
    ASSERT_EQ(ada->postManifest("G41", client::manifestJson(parts, "G41", target)).status, 200);

    std::vector<std::unique_ptr<RawConnection>> connections;
    std::vector<std::string> lastBytes;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string body = client::multipartBody(client::partForm(parts[i], i, parts.size(), target));
        const std::string request =
            "POST /api/author/shelf/upload/G41/ HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: " + ada->cookie() +
            "\r\nContent-Type: " + client::kMultipartType + "\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\nConnection: close\r\n\r\n" + body;
        connections.push_back(std::make_unique<RawConnection>(shelf_->port()));
        connections.back()->send(request.substr(0, request.size() - 1));
        lastBytes.push_back(request.substr(request.size() - 1));
    }
    const std::size_t held = static_cast<std::size_t>(
        std::max_element(parts.begin(), parts.end(),
                         [](const auto& a, const auto& b) { return a.deflated.size() < b.deflated.size(); }) -
        parts.begin());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i != held) {
            connections[i]->send(lastBytes[i]);
        }
    }
    const auto answerOf = [&](std::size_t i) {
        SCOPED_TRACE(parts[i].name);
        const auto [status, answer] = statusAndBody(connections[i]->receiveToEnd());
        EXPECT_EQ(status, 200) << answer;
        EXPECT_EQ(answer.value("stored", ""), parts[i].name);
        return answer.value("finished", false);
    };
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i != held) {
            EXPECT_FALSE(answerOf(i)) << "one part is still on its way";
        }
    }
    connections[held]->send(lastBytes[held]);
    EXPECT_TRUE(answerOf(held)) << "the part that completed the book finished it";

    const auto books = booksOf(*ada);
    ASSERT_EQ(books.size(), 1U);
    ASSERT_EQ(books[0].at("downloads").size(), 1U);
    EXPECT_EQ(downloadedFiles(*ada, books[0].at("downloads").at(0)), book);
    EXPECT_EQ(nlohmann::json::parse(ada->postManifest("G41", client::manifestJson(parts, "G41", target)).body),
              nlohmann::json::array());
}

}  // namespace
}  // namespace tomely::shelf::test
