#include "http/NetworkQueue.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "RequestFixture.h"

namespace tomely {
namespace {

using test::expectError;
using test::RecordedRequest;
using test::ScriptedResponse;

// Writes down every queue event as "<event> <path>".
class RecordingQueueDelegate : public NetworkQueueDelegate {
public:
    void requestStarted(HTTPRequest& request) override { events.push_back("started " + request.url().path()); }
    void requestFinished(HTTPRequest& request) override { events.push_back("finished " + request.url().path()); }
    void requestFailed(HTTPRequest& request) override {
        events.push_back("failed " + request.url().path() + " code " +
                         std::to_string(request.error() ? request.error()->code : 0));
    }
    void queueFinished(NetworkQueue&) override { events.push_back("queue finished"); }
    std::vector<std::string> events;
};

class RecordingReceiver : public ProgressReceiver {
public:
    void setDoubleValue(double value) override { values.push_back(value); }
    std::vector<double> values;
};

class NetworkQueueTest : public test::RequestFixture {
protected:
    NetworkQueueTest() {
        queue->setDelegate(delegate);
        queue->setRequestDidStartSelector(&NetworkQueueDelegate::requestStarted);
        queue->setRequestDidFinishSelector(&NetworkQueueDelegate::requestFinished);
        queue->setRequestDidFailSelector(&NetworkQueueDelegate::requestFailed);
        queue->setQueueDidFinishSelector(&NetworkQueueDelegate::queueFinished);
        queue->setMaxConcurrentOperationCount(1);
    }

    std::shared_ptr<HTTPRequest> post(const std::string& path, std::size_t bodySize) {
        auto request = get(path);
        request->setPostBody(std::vector<std::uint8_t>(bodySize, 'b'));
        return request;
    }

    // Runs the queue until it reports that it has finished, then lets stray events arrive.
    void runQueue() {
        queue->go();
        runUntil([&] { return !delegate->events.empty() && delegate->events.back() == "queue finished"; });
        drainMainLoop();
    }

    std::shared_ptr<NetworkQueue> queue = NetworkQueue::queue();
    std::shared_ptr<RecordingQueueDelegate> delegate = std::make_shared<RecordingQueueDelegate>();
};

TEST_F(NetworkQueueTest, RunsOneAtATimeInOrderAndFinishesOnceAfterTheLast) {
    server.setHandler([](const RecordedRequest& recorded) { return ScriptedResponse::text(200, recorded.target); });
    for (const char* path : {"/1", "/2", "/3"}) {
        queue->addOperation(get(path));
    }
    drainMainLoop();
    EXPECT_EQ(server.requestCount(), 0U) << "a new queue waits for go";
    runQueue();
    const std::vector<std::string> expected = {"started /1", "finished /1", "started /2",    "finished /2",
                                               "started /3", "finished /3", "queue finished"};
    EXPECT_EQ(delegate->events, expected);
}

TEST_F(NetworkQueueTest, AFailureCancelsTheRestAndTheQueueFinishesAfterThem) {
    ScriptedResponse held = ScriptedResponse::text(200, "too late");
    held.holdUntilReleased = true;
    server.enqueue(ScriptedResponse::text(200, "first"));
    server.enqueue(held);
    server.enqueue(held);
    std::vector<std::shared_ptr<HTTPRequest>> requests = {get("/1"), get("/2"), get("/3")};
    requests[1]->setTimeOutSeconds(0.3);
    for (const auto& request : requests) {
        queue->addOperation(request);
    }
    runQueue();
    const std::vector<std::string> expected = {"started /1",       "finished /1",      "started /2",
                                               "failed /2 code 2", "failed /3 code 4", "queue finished"};
    // The third may or may not have started before the cancellation reached it.
    std::vector<std::string> events = delegate->events;
    std::erase(events, "started /3");
    EXPECT_EQ(events, expected);
    expectError(*requests[2], kRequestCancelledErrorType, "The request was cancelled");
    EXPECT_EQ(queue->bytesUploadedSoFar(), 0);
    EXPECT_EQ(queue->totalBytesToUpload(), 0);
}

TEST_F(NetworkQueueTest, AccurateProgressRisesToOneAndCountsTheBodiesAsSent) {
    server.setHandler([](const RecordedRequest&) { return ScriptedResponse::text(200, "stored"); });
    auto receiver = std::make_shared<RecordingReceiver>();
    queue->setShowAccurateProgress(true);
    queue->setUploadProgressDelegate(receiver);
    const std::vector<std::size_t> sizes = {100, 3 * 1024 * 1024, 300 * 1024};
    std::vector<std::shared_ptr<HTTPRequest>> requests;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        requests.push_back(post("/part/" + std::to_string(i), sizes[i]));
        queue->addOperation(requests.back());
    }
    runQueue();

    ASSERT_FALSE(receiver->values.empty());
    for (std::size_t i = 1; i < receiver->values.size(); ++i) {
        EXPECT_GE(receiver->values[i], receiver->values[i - 1]) << "at report " << i;
    }
    EXPECT_DOUBLE_EQ(receiver->values.back(), 1.0);
    std::int64_t sentByServer = 0;
    for (const auto& recorded : server.requests()) {
        sentByServer += static_cast<std::int64_t>(recorded.bodyLength);
    }
    std::int64_t leftOut = 0;
    for (const auto& request : requests) {
        leftOut += static_cast<std::int64_t>(request->uploadBufferSize());
        EXPECT_EQ(request->totalBytesSent(), request->postLength());
    }
    EXPECT_EQ(queue->totalBytesToUpload() + leftOut, sentByServer);
    EXPECT_EQ(queue->bytesUploadedSoFar(), queue->totalBytesToUpload());
}

// Holds a lock of its own while it calls back into requests: the one it is told about, and those
// of the other queue. It takes redirects as a request's delegate and as a queue's.
class LockingDelegate : public HTTPRequestDelegate, public NetworkQueueDelegate {
public:
    bool takesRedirects() const override {
        std::scoped_lock lock(mutex_);
        return true;
    }
    void requestWillRedirectToURL(HTTPRequest& request, const URL& url) override {
        std::scoped_lock lock(mutex_);
        touch(request);
        request.redirectToURL(url);
    }
    void requestFinished(HTTPRequest& request) override {
        std::scoped_lock lock(mutex_);
        touch(request);
    }
    void queueFinished(NetworkQueue&) override { ++queuesFinished; }

    std::vector<std::shared_ptr<HTTPRequest>> requests;
    int queuesFinished = 0;

private:
    void touch(HTTPRequest& request) const {
        (void)request.responseStatusCode();
        for (const auto& other : requests) {
            (void)other->isFinished();
        }
    }
    mutable std::mutex mutex_;
};

TEST_F(NetworkQueueTest, RequestsCallNoOneBackWhileTheyHoldTheirLock) {
    server.setHandler([](const RecordedRequest& recorded) {
        return recorded.target.starts_with("/r/") ? ScriptedResponse::text(302, "", {{"Location", "/done"}})
                                                  : ScriptedResponse::text(200, "done");
    });
    auto locking = std::make_shared<LockingDelegate>();
    std::vector<std::shared_ptr<NetworkQueue>> queues = {NetworkQueue::queue(), NetworkQueue::queue()};
    for (const auto& each : queues) {
        each->setDelegate(locking);
        each->setRequestDidFinishSelector(&NetworkQueueDelegate::requestFinished);
        each->setQueueDidFinishSelector(&NetworkQueueDelegate::queueFinished);
        each->setMaxConcurrentOperationCount(1);
        each->setShowAccurateProgress(true);
    }
    queues[1]->setRequestWillRedirectSelector(&NetworkQueueDelegate::requestWillRedirectToURL);
    for (int i = 0; i < 8; ++i) {
        auto request = get("/r/" + std::to_string(i));
        if (i % 2 == 0) {
            request->setDelegate(std::static_pointer_cast<HTTPRequestDelegate>(locking));
        }
        locking->requests.push_back(request);
        queues[i % 2]->addOperation(request);
    }
    for (const auto& each : queues) {
        each->go();
    }
    runUntil([&] { return locking->queuesFinished == 2; });
    for (const auto& request : locking->requests) {
        EXPECT_EQ(request->responseStatusCode(), 200);
        EXPECT_EQ(request->redirectCount(), 1);
    }
}

}  // namespace
}  // namespace tomely
