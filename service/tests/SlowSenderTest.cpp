#include "ShelfHarness.h"

namespace tomely::shelf::test {
namespace {

using SlowSenderTest = ShelfTest;

TEST_F(SlowSenderTest, TwoHundredUnfinishedHeadsHoldNoWorkerAndAreClosedAtTheirDeadline) {
    restart([](ServerOptions& options) { options.connections.headTime = std::chrono::seconds(3); });
    std::vector<std::unique_ptr<RawConnection>> slow;
    for (int i = 0; i < 200; ++i) {
        slow.push_back(std::make_unique<RawConnection>(shelf_->port()));
        slow.back()->send("GET /shelf/ HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ");
    }
    auto reader = anonymous();
    reader->setReadTimeout(10);
    EXPECT_EQ(reader->get("/shelf/").status, 200);
    for (auto& connection : slow) {
        EXPECT_EQ(connection->receiveToEnd(), "");
    }
}

}  // namespace
}  // namespace tomely::shelf::test
