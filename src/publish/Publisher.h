#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Cancellation.h"
#include "publish/PublishExit.h"
#include "publish/PublishOptions.h"
#include "publish/PublishOutput.h"
#include "publish/UploadRate.h"
#include "shelf/ShelfClient.h"
#include "shelf/UploadTarget.h"
#include "support/WorkArea.h"
#include "upload/BookSync.h"

namespace tomely {

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

    // `workArea` lies in the run's own directory; the sync deletes it when it ends.
    [[nodiscard]] static std::shared_ptr<Publisher> create(PublishOptions options, std::string password,
                                                           WorkArea workArea, PublishOutput& output);

    void start(FinishedBlock finished);
    // Stops the run and ends it as interrupted once the stage under way has let go: a request or
    // the upload at once; the extraction, splitting or fingerprinting within one block.
    void cancel();

private:
    Publisher(PublishOptions options, std::string password, WorkArea workArea, PublishOutput& output);

    void signIn();
    void signInAnswered(const SignInResult& result);
    void openBook();
    void bookOpened(std::optional<std::string> bookGuid, const Error& failure);
    void listBooks();
    void booksListed(const BookListResult& result);
    void sync(const UploadTarget& target);
    void showSyncStage(BookSyncStage stage);
    void showUpload(std::int64_t sent, std::int64_t total);
    void syncFinished(BookSyncResult result);

    void fail(PublishFailure failure);
    // Whether a cancel has come; if so, ends the run as interrupted.
    bool endIfCancelled();
    void finish(PublishExit exit);

    const PublishOptions options_;
    const std::string password_;
    const WorkArea workArea_;
    PublishOutput& output_;
    FinishedBlock finished_;
    std::shared_ptr<Publisher> self_;

    std::string bookGuid_;
    // The call in flight, if any.
    std::optional<ShelfCall> call_;
    // Raised by cancel(); the extraction checks it between blocks.
    const std::shared_ptr<Cancellation> opening_ = std::make_shared<Cancellation>();
    std::shared_ptr<BookSync> sync_;
    std::optional<BookSyncFailure> syncFailure_;
    PublishSummary summary_;
    UploadRate rate_;
    bool cancelled_ = false;
    bool ended_ = false;
};

// The end of a run whose call failed: no answer (status 0) is a network failure; a 2xx answer that
// cannot be followed a service error that says why; any other status a service error whose
// message carries the status and, when the service sent one, its Retry-After.
[[nodiscard]] PublishFailure requestFailure(const std::string& what, const CallFailure& failure);

// The end of a run whose sync failed: a local failure (a full disk) leaves the book unreadable
// (exit 4) with the file and the reason; a failed call as requestFailure() has it.
[[nodiscard]] PublishFailure syncFailure(const BookSyncFailure& failure);

}  // namespace tomely
