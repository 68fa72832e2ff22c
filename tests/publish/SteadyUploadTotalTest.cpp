#include "publish/SteadyUploadTotal.h"

#include <gtest/gtest.h>

namespace tomely {
namespace {

// The queue's total shrinks by each request's first buffer as the request starts; what is shown
// keeps the first total and reaches it at the end.
TEST(SteadyUploadTotalTest, TheFirstTotalStandsForTheWholeUploadAndIsReachedAtTheEnd) {
    struct Report {
        double fraction;
        std::int64_t queueTotal;
        SteadyUploadTotal::Figures shown;
    };
    const Report reports[] = {
        {0.0, 6'000'000, {0, 6'000'000}},         {0.25, 5'700'000, {1'500'000, 6'000'000}},
        {0.5, 5'400'000, {3'000'000, 6'000'000}}, {0.9, 5'000'000, {5'400'000, 6'000'000}},
        {1.0, 5'000'000, {6'000'000, 6'000'000}},
    };
    SteadyUploadTotal total;
    for (const Report& report : reports) {
        SCOPED_TRACE(report.fraction);
        EXPECT_EQ(total.shown(report.fraction, report.queueTotal), report.shown);
    }
}

}  // namespace
}  // namespace tomely
