#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/MainLoopFixture.h"
#include "common/ScriptedHTTPServer.h"
#include "http/HTTPCookieStorage.h"
#include "http/HTTPRequest.h"
#include "http/HTTPRequestError.h"

namespace tomely::test {

// The bytes as text, for comparing bodies.
inline std::string text(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// The request failed with exactly this error of the HTTP request domain.
inline void expectError(const HTTPRequest& request, long code, const std::string& message) {
    const auto error = request.error();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->domain, kNetworkRequestErrorDomain);
    EXPECT_EQ(error->code, code);
    EXPECT_EQ(error->localizedDescription(), message);
}

// What a request reported, counted on the main thread.
struct Outcome {
    int completions = 0;
    int failures = 0;
    bool onMainThread = true;
    [[nodiscard]] int reports() const { return completions + failures; }
};

// A main loop, a scripted server and an empty cookie store for every test.
class RequestFixture : public MainLoopFixture {
protected:
    RequestFixture() { HTTPCookieStorage::sharedHTTPCookieStorage().deleteAllCookies(); }
    ~RequestFixture() override { HTTPCookieStorage::sharedHTTPCookieStorage().deleteAllCookies(); }

    // Counts the request's reports; the blocks hold the outcome, not the request.
    std::shared_ptr<Outcome> observe(HTTPRequest& request) {
        auto outcome = std::make_shared<Outcome>();
        request.setCompletionBlock([this, outcome] {
            ++outcome->completions;
            outcome->onMainThread = outcome->onMainThread && loop().isMainThread();
        });
        request.setFailedBlock([this, outcome] {
            ++outcome->failures;
            outcome->onMainThread = outcome->onMainThread && loop().isMainThread();
        });
        return outcome;
    }

    // Starts the request through the shared queue and waits for its one report; then gives any
    // stray second report the chance to arrive.
    Outcome run(const std::shared_ptr<HTTPRequest>& request) {
        auto outcome = observe(*request);
        request->startAsynchronous();
        runUntil([&] { return outcome->reports() > 0; });
        EXPECT_TRUE(request->isFinished());
        drainMainLoop();
        return *outcome;
    }

    // Waits for state that another thread changes without posting to the main loop, running the
    // loop meanwhile: the loop is kept busy with empty tasks, yielding between them.
    bool runUntilOffMainThread(const std::function<bool()>& done) {
        return runUntil([&] {
            if (done()) {
                return true;
            }
            std::this_thread::yield();
            loop().post([] {});
            return false;
        });
    }

    std::shared_ptr<HTTPRequest> get(const std::string& path) {
        return HTTPRequest::requestWithURL(URL(server.url(path)));
    }

    ScriptedHTTPServer server;
};

}  // namespace tomely::test
