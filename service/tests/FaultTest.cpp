#include <nlohmann/json.hpp>

#include "ShelfHarness.h"

namespace tomely::shelf::test {
namespace {

using client::Target;

class FaultTest : public ShelfTest {
protected:
    // Starts the service with the fault, signs Ada in and posts the manifest of a five-part book.
    void startWith(FaultKind kind) {
        // An idle kept-alive connection would hold up the stop until it times out.
        ada_.reset();
        restart([kind](ServerOptions& options) {
            options.faults.afterParts = 1;
            options.faults.kind = kind;
        });
        ada_ = signedIn(kAda, kAdaPassword);
        parts_ = client::splitBook(sampleBook(31));
        ASSERT_EQ(ada_->postManifest("G31", client::manifestJson(parts_, "G31", target_)).status, 200);
        ASSERT_EQ(ada_->postPart("G31", client::partForm(parts_[0], 0, 5, target_)).status, 200);
    }

    [[nodiscard]] std::size_t askedCount() const {
        return nlohmann::json::parse(ada_->postManifest("G31", client::manifestJson(parts_, "G31", target_)).body)
            .size();
    }

    const Target target_{{}, "Faulty"};
    std::unique_ptr<client::ShelfClient> ada_;
    std::vector<client::Part> parts_;
};

TEST_F(FaultTest, StatusFaultsAnswerEveryPartAfterTheFirstNAndStoreNothing) {
    const struct {
        const char* name;
        FaultKind kind;
        int status;
    } cases[] = {{"500", FaultKind::InternalError, 500}, {"503", FaultKind::Unavailable, 503}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        startWith(c.kind);
        for (std::size_t i = 1; i < 3; ++i) {
            const auto reply = ada_->postPart("G31", client::partForm(parts_[i], i, 5, target_));
            EXPECT_EQ(reply.status, c.status);
            EXPECT_EQ(reply.body, "fault injected on purpose\n");
        }
        EXPECT_EQ(askedCount(), 4U);
        EXPECT_EQ(ada_->list().status, 200);
    }
}

TEST_F(FaultTest, DropClosesTheConnectionWithoutAnAnswer) {
    startWith(FaultKind::Drop);
    const auto reply = ada_->postPart("G31", client::partForm(parts_[1], 1, 5, target_));
    EXPECT_EQ(reply.status, 0);
    EXPECT_EQ(askedCount(), 4U);
}

TEST_F(FaultTest, StallHoldsTheAnswerUntilTheClientGivesUpAndDoesNotHoldUpAStop) {
    startWith(FaultKind::Stall);
    ada_->setReadTimeout(1);
    const auto reply = ada_->postPart("G31", client::partForm(parts_[1], 1, 5, target_));
    EXPECT_EQ(reply.status, 0);
    // Stopping releases the stalled worker; a stop that waited for the stall limit would hit the
    // test's time-out instead.
    restart();
    ada_ = signedIn(kAda, kAdaPassword);
    EXPECT_EQ(askedCount(), 4U);
}

}  // namespace
}  // namespace tomely::shelf::test
