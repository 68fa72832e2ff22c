// Run directories of tomely-publish: each run removes those that runs killed or crashed left, and
// never one of a run still going. The runs are real processes, each waiting at its sign-in, which
// the test's server holds.
#include "publish/RunDirectory.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>

#include "ShelfProcess.h"
#include "common/FileModes.h"
#include "common/ScopedEnvironment.h"
#include "common/ScriptedHTTPServer.h"
#include "common/TemporaryDirectory.h"

namespace tomely {
namespace {

namespace fs = std::filesystem;
using shelf::client::ShelfProcess;
using test::ScriptedResponse;
constexpr auto kDeadline = std::chrono::seconds(60);

class RunDirectoryTest : public ::testing::Test {
protected:
    RunDirectoryTest() {
        environment_.set("XDG_CACHE_HOME", directory_.pathOf("cache"));
        ScriptedResponse refused = ScriptedResponse::text(403, "wrong");
        refused.holdUntilReleased = true;
        service_.setHandler([refused](const test::RecordedRequest&) { return refused; });
        // There, as a run checks before it signs in; never opened, since the sign-in is refused.
        test::writeFile(directory_.pathOf("book.iba"), "");
    }
    [[nodiscard]] std::string runs() const { return directory_.pathOf("cache/tomely-uploader/runs"); }

    // The names in the runs directory, sorted.
    [[nodiscard]] std::vector<std::string> names() const {
        std::vector<std::string> found;
        std::error_code failure;
        for (const auto& entry : fs::directory_iterator(runs(), failure)) {
            found.push_back(entry.path().filename().string());
        }
        std::sort(found.begin(), found.end());
        return found;
    }

    // A run of tomely-publish that has made its run directory and waits for its sign-in; and the
    // name of its directory.
    std::pair<std::unique_ptr<ShelfProcess>, std::string> startWaitingRun() {
        const std::vector<std::string> before = names();
        auto run = std::make_unique<ShelfProcess>(
            TOMELY_PUBLISH_EXECUTABLE,
            std::vector<std::string>{"--email", "ann@example.com", "--password-stdin", "--service", service_.baseURL(),
                                     "--new", "Book", directory_.pathOf("book.iba")},
            "secret\n");
        // The run directory is made before the sign-in goes out.
        EXPECT_TRUE(service_.waitForRequests(++runsStarted_, kDeadline)) << run->output();
        std::vector<std::string> added;
        for (const std::string& name : names()) {
            if (std::find(before.begin(), before.end(), name) == before.end()) {
                added.push_back(name);
            }
        }
        EXPECT_EQ(added.size(), 1U);
        return {std::move(run), added.empty() ? std::string() : added.front()};
    }

    test::TemporaryDirectory directory_;
    test::ScopedEnvironment environment_;
    test::ScriptedHTTPServer service_;
    std::size_t runsStarted_ = 0;
};

TEST_F(RunDirectoryTest, ARunRemovesWhatKilledRunsLeftAndNeverAnotherRunsDirectory) {
    // Left behind: by a run killed before it let go of its lock, by a version that kept no lock,
    // and by a run killed as it started, long ago. A run starting now has no lock yet: it stays.
    fs::create_directories(runs() + "/run-killed/working");
    test::writeFile(runs() + "/run-killed/lock", "");
    test::writeFile(runs() + "/run-killed/working/index.xml", "<x/>");
    fs::create_directories(runs() + "/run-nolock/working");
    fs::create_directories(runs() + "/.starting-old");
    fs::last_write_time(runs() + "/.starting-old", fs::file_time_type::clock::now() - std::chrono::hours(2));
    fs::create_directories(runs() + "/.starting-now");

    auto [first, firstName] = startWaitingRun();
    EXPECT_EQ(names(), (std::vector<std::string>{".starting-now", firstName}));
    auto [second, secondName] = startWaitingRun();
    EXPECT_EQ(names(), (std::vector<std::string>{".starting-now", std::min(firstName, secondName),
                                                 std::max(firstName, secondName)}))
        << "the first run's directory is in use";

    // Killed, it leaves its directory; the next run to start removes it, not the second's.
    first->sendSignal(SIGKILL);
    EXPECT_EQ(first->wait(kDeadline), 128 + SIGKILL);
    EXPECT_TRUE(fs::exists(runs() + "/" + firstName + "/lock"));
    Error error;
    std::optional<RunDirectory> third = RunDirectory::create(&error);
    ASSERT_TRUE(third) << error.localizedDescription();
    const std::string thirdName = fs::path(third->path()).filename().string();
    EXPECT_EQ(names(), (std::vector<std::string>{".starting-now", std::min(secondName, thirdName),
                                                 std::max(secondName, thirdName)}));

    service_.releaseHeldAnswers();
    EXPECT_EQ(second->wait(kDeadline), 3) << second->output();
    third.reset();
    EXPECT_EQ(names(), std::vector<std::string>{".starting-now"});
}

TEST_F(RunDirectoryTest, ARunsDirectoryAndItsLockAreTheOwnersAloneUnderTheUsualUmask) {
    test::ScopedUmask umask(022);
    Error error;
    const std::optional<RunDirectory> run = RunDirectory::create(&error);
    ASSERT_TRUE(run) << error.localizedDescription();
    struct Case {
        std::string path;
        int permissions;
    };
    const Case cases[] = {
        {directory_.pathOf("cache"), 0700},
        {directory_.pathOf("cache/tomely-uploader"), 0700},
        {runs(), 0700},
        {run->path(), 0700},
        {run->path() + "/lock", 0600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(test::permissionsOf(c.path), c.permissions);
    }
}

}  // namespace
}  // namespace tomely
