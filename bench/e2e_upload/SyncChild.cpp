#include "SyncChild.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "platform/EventLoop.h"
#include "shelf/ShelfClient.h"
#include "support/WorkArea.h"
#include "upload/BookSync.h"

namespace tomely::bench {
namespace {

using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

int runSyncChild(const std::string& support, const std::string& bookId, std::size_t partsInFlight) {
    auto loop = std::make_shared<EventLoop>();
    MainLoop::install(loop);
    const ShelfClient client{};
    bool signedIn = false;
    client.signIn(kBenchEmail, kBenchPassword, [&](const SignInResult& answer) {
        signedIn = std::holds_alternative<SignedIn>(answer);
        loop->quit();
    });
    loop->run();
    if (!signedIn) {
        std::fprintf(stderr, "sign-in failed\n");
        return 1;
    }

    UploadTarget target;
    if (bookId.empty()) {
        target.bookName = "Benchmark Book";
    } else {
        target.bookId = JSONValue(std::stoll(bookId));
    }
    auto sync = BookSync::create(client, WorkArea::inDirectory(support), kBenchGuid, target);
    sync->setMaxPartsInFlight(partsInFlight);
    std::map<BookSyncStage, Clock::time_point> began;
    std::uint64_t partsSent = 0;
    BookSyncResult result = BookSyncResult::Failed;
    Clock::time_point end;
    sync->setStageBlock([&began](BookSyncStage stage) { began[stage] = Clock::now(); });
    sync->setCountBlock([&partsSent](BookSyncStage stage, std::uint64_t, std::uint64_t total) {
        partsSent = stage == BookSyncStage::Compressing ? total : partsSent;
    });
    sync->setFailureBlock([](const BookSyncFailure& failure) {
        if (const auto* call = std::get_if<CallFailure>(&failure.cause)) {
            std::fprintf(stderr, "failed with status %d at %s\n", call->statusCode, call->url.c_str());
        } else {
            std::fprintf(stderr, "failed: %s\n", std::get<Error>(failure.cause).localizedDescription().c_str());
        }
    });
    sync->setFinishedBlock([&](BookSyncResult finished) {
        end = Clock::now();
        result = finished;
        loop->quit();
    });
    sync->start();
    loop->run();
    const bool uploaded = began.contains(BookSyncStage::Compressing);
    const auto manifestEnd = uploaded ? began[BookSyncStage::Compressing] : end;
    const auto sendStart = began.contains(BookSyncStage::Uploading) ? began[BookSyncStage::Uploading] : end;
    std::printf("split %f\nfingerprint %f\nmanifest %f\ncompress %f\nsend %f\nparts_sent %llu\n",
                secondsBetween(began[BookSyncStage::Splitting], began[BookSyncStage::Hashing]),
                secondsBetween(began[BookSyncStage::Hashing], began[BookSyncStage::Comparing]),
                secondsBetween(began[BookSyncStage::Comparing], manifestEnd),
                uploaded ? secondsBetween(manifestEnd, sendStart) : 0.0,
                uploaded ? secondsBetween(sendStart, end) : 0.0, static_cast<unsigned long long>(partsSent));
    return result == BookSyncResult::Succeeded ? 0 : 1;
}

std::vector<std::string> syncChildCommand(const std::string& support, const std::string& bookId,
                                          std::size_t partsInFlight) {
    return {std::filesystem::read_symlink("/proc/self/exe").string(), "--child", support, bookId,
            std::to_string(partsInFlight)};
}

bool isSyncChildCommand(const std::vector<std::string>& arguments) {
    return arguments.size() == 4 && arguments[0] == "--child";
}

int runSyncChild(const std::vector<std::string>& arguments) {
    return runSyncChild(arguments[1], arguments[2], std::stoul(arguments[3]));
}

}  // namespace tomely::bench
