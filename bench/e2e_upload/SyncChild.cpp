#include "SyncChild.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "http/FormDataRequest.h"
#include "http/ServiceAPI.h"
#include "platform/EventLoop.h"
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
    auto signIn = FormDataRequest::requestWithURL(ServiceAPI::authenticationURL());
    signIn->setPostValue(kBenchEmail, "email");
    signIn->setPostValue(kBenchPassword, "password");
    signIn->setCompletionBlock([&loop] { loop->quit(); });
    signIn->setFailedBlock([&loop] { loop->quit(); });
    signIn->startAsynchronous();
    loop->run();
    if (signIn->responseStatusCode() != 200) {
        std::fprintf(stderr, "sign-in failed with status %d\n", signIn->responseStatusCode());
        return 1;
    }

    SyncedBook book{kBenchGuid, std::nullopt, std::nullopt};
    if (bookId.empty()) {
        book.bookName = "Benchmark Book";
    } else {
        book.bookId = JSONValue(std::stoll(bookId));
    }
    auto sync = BookSync::create(support, book);
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
        std::fprintf(stderr, "failed with status %d at %s\n", failure.statusCode, failure.url.c_str());
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
