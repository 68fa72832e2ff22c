#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/SecretText.h"
#include "publish/PublishExit.h"
#include "publish/PublishOptions.h"
#include "publish/PublishOutput.h"
#include "publish/SteadyUploadTotal.h"
#include "session/PublishSession.h"
#include "session/UploadRate.h"
#include "support/WorkArea.h"

namespace tomely {

// One run of the publisher: the wizard's session without a window, its operations chained at
// once (sign in, open the book into the run's work area, list the author's books, choose the
// target from the options, sync), every event told to the output, and the end to the `finished`
// block as an exit status.
//
// Threads: main thread only. Ownership: the run keeps itself alive from start() until `finished`
// has returned; it owns its session.
class Publisher : public std::enable_shared_from_this<Publisher>, private SessionObserver {
public:
    using FinishedBlock = std::function<void(PublishExit exit)>;

    // `workArea` lies in the run's own directory; the sync deletes it when it ends. The password is
    // erased as soon as the sign-in call holds it.
    [[nodiscard]] static std::shared_ptr<Publisher> create(PublishOptions options, SecretText password,
                                                           WorkArea workArea, PublishOutput& output);

    void start(FinishedBlock finished);
    // Stops the run and ends it as interrupted once the stage under way has let go: a request or
    // the upload at once; the extraction, splitting or fingerprinting within one block.
    void cancel();

private:
    Publisher(PublishOptions options, SecretText password, WorkArea workArea, PublishOutput& output);

    // SessionObserver.
    void stageBegan(SessionStage stage) override;
    void countProgressed(SessionStage stage, std::uint64_t done, std::uint64_t total) override;
    void uploadProgressed(double fraction, std::int64_t bytesSent, std::int64_t bytesTotal) override;
    void signedIn() override;
    void credentialsRefused() override;
    void booksListed(const BookListing& listing) override;
    void retrying(const SessionRetry& retry) override;
    void failed(const SessionFailure& failure) override;
    void ended(const SessionEnd& end) override;

    // The end of the run, exactly once: told to the output and to `finished`.
    void fail(PublishFailure failure);
    void succeed(const SessionSummary& summary);
    void finish(PublishExit exit);

    const PublishOptions options_;
    SecretText password_;
    PublishOutput& output_;
    const std::shared_ptr<PublishSession> session_;
    FinishedBlock finished_;
    std::shared_ptr<Publisher> self_;
    // The session's failure, until its end.
    std::optional<PublishFailure> failure_;
    UploadRate rate_;
    SteadyUploadTotal uploadTotal_;
    bool ended_ = false;
    // A run of --list has told its list, which ends it.
    bool listed_ = false;
};

}  // namespace tomely
