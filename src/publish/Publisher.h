#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Cancellation.h"
#include "platform/SecretText.h"
#include "publish/PublishExit.h"
#include "publish/PublishOptions.h"
#include "publish/PublishOutput.h"
#include "publish/UploadRate.h"
#include "shelf/UploadTarget.h"
#include "upload/BookSync.h"

namespace tomely {

class HTTPRequest;

// One run of the publisher, the wizard's chain without a window: sign in, open the book into the
// run's Working directory (the same safe extraction and GUID rule), list the author's books,
// choose the target, then the upload step's sync (split, fingerprint, manifest, upload). Every
// stage is told to the output, and the end to the `finished` block as an exit status.
//
// Threads: main thread only; the extraction runs on a queue of its own. Ownership: the run keeps
// itself alive from start() until `finished` has returned.
class Publisher : public std::enable_shared_from_this<Publisher> {
public:
    using FinishedBlock = std::function<void(PublishExit exit)>;

    // `runDirectory` is the run's own; the sync deletes it when it ends. The password is erased
    // as soon as the sign-in request holds it.
    [[nodiscard]] static std::shared_ptr<Publisher> create(PublishOptions options, SecretText password,
                                                           std::string runDirectory, PublishOutput& output);

    void start(FinishedBlock finished);
    // Stops the run and ends it as interrupted once the stage under way has let go: a request or
    // the upload at once; the extraction, splitting or fingerprinting within one block.
    void cancel();

private:
    Publisher(PublishOptions options, SecretText password, std::string runDirectory, PublishOutput& output);

    void signIn();
    void signInAnswered(HTTPRequest& request);
    void openBook();
    void bookOpened(std::optional<std::string> bookGuid, const Error& failure);
    void listBooks();
    void booksListed(HTTPRequest& request);
    void sync(const UploadTarget& target);
    void showSyncStage(BookSyncStage stage);
    void showUpload(std::int64_t sent, std::int64_t total);
    void syncFinished(BookSyncResult result);

    // Ends the run as failed by a request that got no answer, or an unexpected one.
    // Starts `request` as the one in flight; its answer goes to `answered`, its failure is
    // reported as a failure of `what` unless the run was cancelled.
    void send(const std::shared_ptr<HTTPRequest>& request, void (Publisher::*answered)(HTTPRequest&),
              const std::string& what);
    void failRequest(const HTTPRequest& request, const std::string& what);
    void fail(PublishFailure failure);
    // Whether a cancel has come; if so, ends the run as interrupted.
    bool endIfCancelled();
    void finish(PublishExit exit);

    const PublishOptions options_;
    SecretText password_;
    const std::string runDirectory_;
    PublishOutput& output_;
    FinishedBlock finished_;
    std::shared_ptr<Publisher> self_;

    std::string bookGuid_;
    std::shared_ptr<HTTPRequest> request_;
    // Raised by cancel(); the extraction checks it between blocks.
    const std::shared_ptr<Cancellation> opening_ = std::make_shared<Cancellation>();
    std::shared_ptr<BookSync> sync_;
    std::optional<BookSyncFailure> syncFailure_;
    PublishSummary summary_;
    UploadRate rate_;
    bool cancelled_ = false;
    bool ended_ = false;
};

// The end of a run whose call to `url` failed: a request that failed (`error` set: no answer, or
// an answer cut short, stalled, redirected in a loop or past its limit) is a network failure with
// the error's text; a status outside 2xx, and an authentication challenge the request could not
// answer, a service error whose message carries the status and, when the service sent one, its
// Retry-After.
[[nodiscard]] PublishFailure requestFailure(const std::string& what, int statusCode, const std::string& url,
                                            const std::optional<Error>& error,
                                            const std::optional<std::string>& retryAfter);

// The end of a run whose sync failed: a local failure (a full disk) leaves the book unreadable
// (exit 4) with the file and the reason; an answer that cannot be followed is a service error
// (exit 6) that says why; a failed call as requestFailure() has it.
[[nodiscard]] PublishFailure syncFailure(const BookSyncFailure& failure);

}  // namespace tomely
