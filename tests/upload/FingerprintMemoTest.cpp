#include "upload/FingerprintMemo.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <limits>

#include "CallbackLog.h"
#include "TestFiles.h"
#include "common/FileModes.h"
#include "platform/SystemLog.h"
#include "upload/ACFileSHA1.h"

namespace tomely {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

constexpr FingerprintMemo::Options kNoRecheck{7, std::numeric_limits<std::uint64_t>::max()};

struct HashRun {
    std::map<std::string, std::string> fingerprints;
    // How many files were compressed rather than recalled.
    std::size_t compressed = 0;
};

// Hashes `paths` with `memo`, and returns once the hasher, and with it the memo, has let go.
HashRun hashWith(std::shared_ptr<FingerprintMemo> memo, std::vector<std::string> paths) {
    auto log = test::CallbackLog::create();
    {
        auto hasher = ACFileSHA1::create();
        hasher->setMemo(std::move(memo));
        auto token = log->releaseToken();
        hasher->setDeflatedBlock([log, token](ACFileSHA1&, const std::string&, std::span<const std::uint8_t>, Error*) {
            log->record("compressed");
            return true;
        });
        hasher->setCompleteBlock(
            [log, token](ACFileSHA1&, const ACFileSHA1::Fingerprints& fingerprints) { log->keepResult(fingerprints); });
        hasher->hashFiles(std::move(paths));
    }
    EXPECT_TRUE(log->waitUntilReleased()) << "the hasher was never released";
    return {log->result(), log->events().size()};
}

// Part files of text and of noise, and the fingerprints a fresh computation gives them.
struct Parts {
    explicit Parts(const std::string& directory, int count = 20) {
        for (int i = 0; i < count; ++i) {
            paths.push_back(directory + "/part" + std::to_string(i));
            rewrite(i, i % 2 == 0 ? test::text(20'000 + static_cast<std::size_t>(i) * 997)
                                  : test::noise(30'000, static_cast<std::uint32_t>(i)));
        }
    }
    void rewrite(int i, const Bytes& contents) {
        const std::string& path = paths[static_cast<std::size_t>(i)];
        test::writeBytes(path, contents);
        expected[path] = ACFileSHA1::fingerprint(contents);
    }
    std::vector<std::string> paths;
    std::map<std::string, std::string> expected;
};

class FingerprintMemoTest : public ::testing::Test {
protected:
    [[nodiscard]] std::shared_ptr<FingerprintMemo> memo(FingerprintMemo::Options options = kNoRecheck) const {
        return FingerprintMemo::create(cache, options);
    }
    [[nodiscard]] std::string file() const { return cache + "/" + std::string(FingerprintMemo::kFileName); }
    void sql(const std::string& statements) const {
        sqlite3* database = nullptr;
        ASSERT_EQ(sqlite3_open(file().c_str(), &database), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(database, statements.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(database);
        sqlite3_close(database);
    }

    test::TemporaryDirectory home;
    const std::string cache = home.pathOf("cache");
    Parts parts{home.path()};
};

TEST_F(FingerprintMemoTest, AHitGivesWhatAFreshComputationGivesAndOnlyNewBytesAreCompressed) {
    const HashRun first = hashWith(memo(), parts.paths);
    EXPECT_EQ(first.fingerprints, parts.expected);
    EXPECT_EQ(first.compressed, parts.paths.size());

    parts.rewrite(3, test::text(12'345));
    const HashRun again = hashWith(memo(), parts.paths);
    EXPECT_EQ(again.fingerprints, parts.expected);
    EXPECT_EQ(again.compressed, 1U) << "only the part never seen before";
}

TEST_F(FingerprintMemoTest, DamageIsDetectedAndNeverChangesAResult) {
    const std::string wrong = ACFileSHA1::fingerprint(test::bytesOf("something else"));
    const struct {
        const char* name;
        std::function<void()> damage;
        FingerprintMemo::Options options;
    } cases[] = {
        {"bytes flipped",
         [&] {
             std::string bytes = test::readFile(file());
             for (std::size_t at = 4096; at < bytes.size(); at += 61) {
                 bytes[at] = static_cast<char>(~bytes[at]);
             }
             test::writeFile(file(), bytes);
         },
         kNoRecheck},
        {"truncated", [&] { fs::resize_file(file(), fs::file_size(file()) / 2); }, kNoRecheck},
        {"the wrong schema",
         [&] {
             fs::remove(file());
             sql("CREATE TABLE fingerprints(digest, fingerprint); PRAGMA user_version = 9;");
         },
         kNoRecheck},
        {"another zlib", [&] { sql("UPDATE about SET value = 'zlib 0.9'"); }, kNoRecheck},
        {"an entry whose checksum does not match",
         [&] { sql("UPDATE fingerprints SET fingerprint = '" + wrong + "'"); }, kNoRecheck},
        // As a bug would write them: whole, with their checksums, but wrong. Only the recheck can
        // tell, and it picks some hits, so the others must be computed again too.
        {"wrong entries with their checksums",
         [&] {
             auto liar = memo();
             for (const std::string& path : parts.paths) {
                 liar->remember(sha1Digest(test::readBytes(path)), wrong);
             }
             EXPECT_TRUE(liar->save());
         },
         {11, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(cache);
        ASSERT_EQ(hashWith(memo(), parts.paths).fingerprints, parts.expected);
        c.damage();

        SystemLog::Capture log;
        EXPECT_EQ(hashWith(memo(c.options), parts.paths).fingerprints, parts.expected);
        const auto lines = log.lines();
        EXPECT_TRUE(std::ranges::any_of(lines, [](const std::string& line) {
            return line.starts_with("Fingerprint memo dropped") || line.starts_with("Fingerprint memo deleted");
        })) << "nothing in the log";
        EXPECT_EQ(hashWith(memo(c.options), parts.paths).fingerprints, parts.expected) << "and on the next run";
    }
}

TEST_F(FingerprintMemoTest, TheSeedFixesWhichHitsAreRechecked) {
    const auto picks = [&](std::uint64_t seed) {
        auto chooser = memo({seed, 4});
        std::vector<bool> picked;
        for (int i = 0; i < 400; ++i) {
            picked.push_back(chooser->shouldRecheck(sha1Digest(test::bytesOf(std::to_string(i)))));
        }
        return picked;
    };
    EXPECT_EQ(picks(11), picks(11));
    EXPECT_NE(picks(11), picks(12));
    const auto count = std::ranges::count(picks(11), true);
    EXPECT_GT(count, 50);
    EXPECT_LT(count, 150);
}

// Each child exits with 0 when its fingerprints are right. The test process has no other thread
// yet, which is what a fork needs.
pid_t fork(const std::function<bool()>& child) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(child() ? 0 : 1);
    }
    return pid;
}

int exitStatus(pid_t pid) {
    int status = -1;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(FingerprintMemoTest, TwoProcessesShareOneMemo) {
    const Parts more(home.path() + "/more", 40);
    const auto hashHalf = [&](std::size_t from) {
        const std::vector<std::string> half(more.paths.begin() + static_cast<std::ptrdiff_t>(from),
                                            more.paths.begin() + static_cast<std::ptrdiff_t>(from + 24));
        return [&, half] {
            for (const auto& [path, fingerprint] : hashWith(memo(), half).fingerprints) {
                if (more.expected.at(path) != fingerprint) {
                    return false;
                }
            }
            return true;
        };
    };
    // Both write entries, and both find some of the other's, while the other runs.
    const pid_t first = fork(hashHalf(0));
    const pid_t second = fork(hashHalf(16));
    EXPECT_EQ(exitStatus(first), 0);
    EXPECT_EQ(exitStatus(second), 0);

    const HashRun all = hashWith(memo(), more.paths);
    EXPECT_EQ(all.fingerprints, more.expected);
    EXPECT_EQ(all.compressed, 0U) << "every entry of both processes was kept";
}

TEST_F(FingerprintMemoTest, AReadOnlyCacheDirectoryCostsOnlySpeed) {
    ASSERT_EQ(hashWith(memo(), parts.paths).compressed, parts.paths.size());
    const std::string before = test::readFile(file());
    fs::permissions(home.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(cache,
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec);
    for (const std::string& path : parts.paths) {
        fs::permissions(path, fs::perms::others_read, fs::perm_options::add);
    }
    fs::permissions(file(), fs::perms::others_read, fs::perm_options::add);

    const pid_t child = fork([&] {
        // Root writes wherever it likes: the child becomes nobody.
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            return false;
        }
        const HashRun run = hashWith(memo(), parts.paths);
        // A fresh memo next to the read-only one cannot be made either.
        const HashRun none = hashWith(FingerprintMemo::create(cache + "/new", kNoRecheck), parts.paths);
        return run.fingerprints == parts.expected && none.fingerprints == parts.expected &&
               none.compressed == parts.paths.size();
    });
    EXPECT_EQ(exitStatus(child), 0);
    EXPECT_EQ(test::readFile(file()), before);
    fs::permissions(cache, fs::perms::owner_all);
}

TEST_F(FingerprintMemoTest, TheMemoAndItsLogAreTheOwnersAloneUnderTheUsualUmask) {
    test::ScopedUmask umask(022);
    const struct {
        const char* name;
        std::function<void()> before;
    } cases[] = {
        {"a new memo", [] {}},
        {"one an older version left readable to all",
         [this] {
             EXPECT_TRUE(memo()->save());
             fs::permissions(file(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                         fs::perms::others_read);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(cache);
        fs::create_directories(cache);
        c.before();
        const auto open = memo();
        open->remember(sha1Digest(test::bytesOf("a part")), "kept");
        EXPECT_TRUE(open->save());
        // While the memo is open, its write-ahead log and shared memory exist beside it.
        for (const char* suffix : {"", "-wal", "-shm"}) {
            SCOPED_TRACE(suffix);
            EXPECT_EQ(test::permissionsOf(file() + suffix), 0600);
        }
    }
}

TEST_F(FingerprintMemoTest, TheLeastRecentlyUsedEntriesGoFirst) {
    const FingerprintMemo::Options small{7, std::numeric_limits<std::uint64_t>::max(), 64 * 1024};
    const auto digest = [](int i) { return sha1Digest(test::bytesOf("part " + std::to_string(i))); };
    // Without save(), looking entries up leaves them as they were.
    const auto recalled = [&](int from, int to) {
        auto reader = memo(small);
        int found = 0;
        for (int i = from; i < to; ++i) {
            found += reader->recall(digest(i)).has_value() ? 1 : 0;
        }
        return found;
    };
    {
        auto first = memo(small);
        for (int i = 0; i < 200; ++i) {
            first->remember(digest(i), "first");
        }
        EXPECT_TRUE(first->save());
    }
    {
        // Uses the first 50 again, then adds far more than fits.
        auto second = memo(small);
        for (int i = 0; i < 50; ++i) {
            ASSERT_TRUE(second->recall(digest(i)));
        }
        for (int i = 200; i < 1400; ++i) {
            second->remember(digest(i), "second");
        }
        EXPECT_TRUE(second->save());
    }
    EXPECT_EQ(recalled(50, 200), 0) << "the entries unused since the first run go first";
    const int kept = recalled(0, 50) + recalled(200, 1400);
    EXPECT_GT(kept, 0);
    EXPECT_LT(kept, 1250 / 2) << "the memo stays near its bound";
    EXPECT_GT(recalled(0, 50), 0) << "a recalled entry counts as used";
}

}  // namespace
}  // namespace tomely
