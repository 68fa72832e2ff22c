#include <nlohmann/json.hpp>

#include "ShelfHarness.h"

namespace tomely::shelf::test {
namespace {

using FaultTest = ShelfTest;

// The client's end-to-end tests meet every kind of fault; what they cannot see is that a faulted
// part is not stored and that a stalled answer does not hold up a stop.
TEST_F(FaultTest, AStalledPartIsNotStoredAndDoesNotHoldUpAStop) {
    restart([](ServerOptions& options) {
        options.faults.afterParts = 1;
        options.faults.kind = FaultKind::Stall;
    });
    auto ada = signedIn(kAda, kAdaPassword);
    const auto parts = client::splitBook(sampleBook(31));
    const client::Target target{{}, "Faulty"};
    const auto manifest = client::manifestJson(parts, "G31", target);
    ASSERT_EQ(ada->postManifest("G31", manifest).status, 200);
    ASSERT_EQ(ada->postPart("G31", client::partForm(parts[0], 0, 5, target)).status, 200);
    ada->setReadTimeout(1);
    EXPECT_EQ(ada->postPart("G31", client::partForm(parts[1], 1, 5, target)).status, 0);
    // A stop that waited for the stall limit would hit the test's time-out instead.
    ada.reset();
    restart();
    ada = signedIn(kAda, kAdaPassword);
    EXPECT_EQ(nlohmann::json::parse(ada->postManifest("G31", manifest).body).size(), 4U);
}

}  // namespace
}  // namespace tomely::shelf::test
