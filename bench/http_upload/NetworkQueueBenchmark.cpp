// The uploader's path: 200 multipart posts of 1 MB through a NetworkQueue (one at a time,
// accurate progress, a progress receiver), against a bare libcurl loop in the same run. Then the
// CPU time the network thread spends while nothing runs, and while one request waits for a
// silent server (its status check firing four times a second). Prints a table.
#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BareCurlUploads.h"
#include "common/ScriptedHTTPServer.h"
#include "http/FormDataRequest.h"
#include "http/NetworkQueue.h"
#include "http/NetworkThread.h"
#include "platform/EventLoop.h"

using namespace tomely;
using namespace tomely::bench;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 5;
constexpr auto kIdleInterval = std::chrono::seconds(5);

class CountingReceiver : public ProgressReceiver {
public:
    void setDoubleValue(double value) override {
        ++updates;
        last = value;
    }
    int updates = 0;
    double last = 0;
};

class FinishingDelegate : public NetworkQueueDelegate {
public:
    void requestFailed(HTTPRequest&) override { ++failures; }
    void queueFinished(NetworkQueue&) override { finished = true; }
    int failures = 0;
    bool finished = false;
};

struct QueueRun {
    double seconds = -1;
    // Of which adding the requests, which builds every body (and its temporary file) up front.
    double addingSeconds = 0;
    int progressUpdates = 0;
    double lastFraction = 0;
};

// Builds the queue the way the uploader does (every request added, then go) and times it from
// the first add to the queue-finished callback.
QueueRun queueRun(EventLoop& loop, const std::string& url, const std::vector<std::uint8_t>& part) {
    auto receiver = std::make_shared<CountingReceiver>();
    auto delegate = std::make_shared<FinishingDelegate>();
    const auto start = Clock::now();
    auto queue = NetworkQueue::queue();
    queue->setMaxConcurrentOperationCount(1);
    queue->setShowAccurateProgress(true);
    queue->setDelegate(delegate);
    queue->setRequestDidFailSelector(&NetworkQueueDelegate::requestFailed);
    queue->setQueueDidFinishSelector(&NetworkQueueDelegate::queueFinished);
    queue->setUploadProgressDelegate(receiver);
    for (int i = 0; i < kPosts; ++i) {
        auto request = FormDataRequest::requestWithURL(URL(url));
        request->setPostValue("/OEBPS/book.xhtml.part" + std::to_string(i), "name");
        request->setPostValue(std::to_string(kPartSize), "size");
        request->setData(part, "upload");
        queue->addOperation(request);
    }
    const double adding = std::chrono::duration<double>(Clock::now() - start).count();
    queue->go();
    loop.runUntil([&] { return delegate->finished; }, std::chrono::minutes(5));
    QueueRun run;
    if (delegate->finished && delegate->failures == 0) {
        run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    }
    run.addingSeconds = adding;
    run.progressUpdates = receiver->updates;
    run.lastFraction = receiver->last;
    return run;
}

// CPU seconds the network thread has used, read on that thread itself.
double networkThreadCPUSeconds() {
    std::promise<double> cpu;
    NetworkThread::shared().post([&cpu] {
        timespec used{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
        cpu.set_value(static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9);
    });
    return cpu.get_future().get();
}

// The network thread's share of one core over an interval in which the caller only waits.
double networkThreadLoad() {
    const double before = networkThreadCPUSeconds();
    const auto start = Clock::now();
    std::this_thread::sleep_for(kIdleInterval);
    const double after = networkThreadCPUSeconds();
    return (after - before) / std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    auto loop = std::make_shared<EventLoop>();
    MainLoop::install(loop);
    test::ScriptedHTTPServer sink(test::ScriptedHTTPServer::Options{.tls = false, .keepBodies = false});
    sink.setHandler([](const test::RecordedRequest& request) {
        test::ScriptedResponse answer = test::ScriptedResponse::text(200, "stored");
        answer.holdUntilReleased = request.target == "/silent";
        return answer;
    });
    const std::string url = sink.url("/api/author/shelf/upload/GUID/");
    const auto part = partBytes();

    std::vector<double> bare;
    std::vector<double> queued;
    std::vector<double> sending;
    QueueRun last;
    for (int round = 0; round < kRounds; ++round) {
        bare.push_back(bareCurlSeconds(url, part));
        last = queueRun(*loop, url, part);
        queued.push_back(last.seconds);
        sending.push_back(last.seconds - last.addingSeconds);
        if (bare.back() < 0 || queued.back() < 0) {
            std::fprintf(stderr, "round %d failed\n", round + 1);
            return 1;
        }
        std::printf(
            "round %d: bare libcurl %.3f s, network queue %.3f s (adding %.3f s; %d progress updates, "
            "last %.4f)\n",
            round + 1, bare.back(), queued.back(), last.addingSeconds, last.progressUpdates, last.lastFraction);
    }
    std::sort(bare.begin(), bare.end());
    std::sort(queued.begin(), queued.end());
    std::sort(sending.begin(), sending.end());
    const double megabytes = kPosts * static_cast<double>(kPartSize) / (1 << 20);
    const double bareMedian = bare[kRounds / 2];
    const double queueMedian = queued[kRounds / 2];
    std::printf("\n%-40s %10s %10s %10s\n", "200 posts of 1 MB, 5 alternating rounds", "median s", "MB/s", "best MB/s");
    std::printf("%-40s %10.3f %10.1f %10.1f\n", "bare libcurl, easy handle per post", bareMedian,
                megabytes / bareMedian, megabytes / bare.front());
    std::printf("%-40s %10.3f %10.1f %10.1f\n", "NetworkQueue (1 at a time, accurate)", queueMedian,
                megabytes / queueMedian, megabytes / queued.front());
    std::printf("%-40s %10s %9.2fx %9.2fx  (goal >= 0.80x)\n", "queue / bare throughput", "", bareMedian / queueMedian,
                bare.front() / queued.front());
    // The bodies are built when the requests are added (each form part written to a temporary
    // file); from go on, only the queue and the transfers are left.
    const double sendingMedian = sending[kRounds / 2];
    std::printf("%-40s %10.3f %10.1f %10.1f\n", "  of it from go to queue finished", sendingMedian,
                megabytes / sendingMedian, megabytes / sending.front());
    std::printf("%-40s %10s %9.2fx %9.2fx\n", "  from go: queue / bare throughput", "", bareMedian / sendingMedian,
                bare.front() / sending.front());

    const double idle = networkThreadLoad();
    auto waiting = HTTPRequest::requestWithURL(URL(sink.url("/silent")));
    waiting->setTimeOutSeconds(0);
    waiting->startAsynchronous();
    sink.waitForRequests(sink.requestCount() + 1);
    const double checking = networkThreadLoad();
    waiting->clearDelegatesAndCancel();
    loop->runUntil([&] { return waiting->isFinished(); }, std::chrono::seconds(10));
    sink.releaseHeldAnswers();
    std::printf("\n%-40s %9.4f %% of a core over %lld s (goal < 1 %%)\n", "network thread, idle", idle * 100,
                static_cast<long long>(kIdleInterval.count()));
    std::printf("%-40s %9.4f %% of a core over %lld s\n", "network thread, one request waiting", checking * 100,
                static_cast<long long>(kIdleInterval.count()));
    MainLoop::install(nullptr);
    return 0;
}
