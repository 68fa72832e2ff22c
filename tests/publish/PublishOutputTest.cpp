#include "publish/PublishOutput.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "publish/UploadRate.h"

namespace tomely {
namespace {

using namespace std::chrono_literals;

TEST(PublishOutputTest, TheEstimateFollowsTheCapAndTheMeasuredRate) {
    const UploadRate::Clock::time_point start{};
    UploadRate capped(1'000'000);
    capped.sample(start, 0);
    EXPECT_EQ(capped.secondsLeft(4'000'000), 4.0) << "before any rate is measured, the cap bounds it";
    capped.sample(start + 1s, 3'000'000);  // a burst faster than the cap
    EXPECT_EQ(capped.bytesPerSecond(), 1'000'000.0);
    EXPECT_EQ(capped.secondsLeft(4'000'000), 1.0);

    UploadRate free;
    free.sample(start, 0);
    EXPECT_EQ(free.secondsLeft(10), std::nullopt);
    free.sample(start + 2s, 500'000);
    free.sample(start + 4s, 1'000'000);
    EXPECT_EQ(free.bytesPerSecond(), 250'000.0);
    EXPECT_EQ(free.secondsLeft(2'000'000), 4.0);
    free.sample(start + 10s, 2'000'000);
    EXPECT_EQ(free.bytesPerSecond(), 1'000'000.0 / 6) << "only the last few seconds count";
}

TEST(PublishOutputTest, ATerminalSeesOneLinePerStageRewrittenInPlace) {
    char* text = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&text, &length);
    {
        TextOutput output(out, out, true);
        output.stage(SessionStage::Uploading, "Uploading book");
        output.upload({1'500'000, 4'000'000, 1'000'000.0, 2.5});
        output.upload({4'000'000, 4'000'000, std::nullopt, std::nullopt});
        output.failed({PublishExit::ServiceError, "the service answered 503"});
    }
    std::fclose(out);
    EXPECT_EQ(std::string(text, length),
              "\r\033[KUploading book"
              "\r\033[KUploading book: 1.5 of 4.0 MB, 1.0 MB/s, 0:03 left"
              "\r\033[KUploading book: 4.0 of 4.0 MB\n"
              "tomely-publish: the service answered 503\n");
    std::free(text);
}

}  // namespace
}  // namespace tomely
