#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "session/UploadRate.h"
#include "steps/SessionStep.h"

namespace tomely {

class ProgressIndicator;
class TextControl;

// The fourth step: publishes the book in the Working directory without asking anything. The
// session's sync splits, fingerprints, compares with the service and uploads; this step shows its
// reports on the progress bar, the progress line and the container's working indicator, ends the
// wizard with an alert on the first failure (the preparation alert for a failure on this machine,
// the HTTP ones for the service's), and installs the done step after a success only, with what
// was sent. While the parts go out, the line under the progress line tells the rate and the time
// left. Continue stays disabled throughout.
class ACUploadBookViewController : public SessionStep {
public:
    // `view` implements UploadBookView. `target` is where the book goes: the book to replace, with
    // the "book_id" the list gave it, or the title of a new book.
    ACUploadBookViewController(std::unique_ptr<View> view, ACMainViewController& mainViewController,
                               std::shared_ptr<PublishSession> session, UploadTarget target);

    // Installs the step and starts the sync.
    void addToMainViewController() override;

    [[nodiscard]] const std::string& bookGuid() const { return session().listing()->bookGuid; }
    [[nodiscard]] const std::optional<JSONValue>& bookId() const { return target_.bookId; }
    [[nodiscard]] const std::optional<std::string>& bookName() const { return target_.bookName; }
    // Set by the first failure, which alone is reported.
    [[nodiscard]] bool hasFailed() const { return hasFailed_; }
    [[nodiscard]] ProgressIndicator& progressBar() const;
    [[nodiscard]] TextControl& progressTextField() const;
    [[nodiscard]] TextControl& paceTextField() const;

private:
    void clearRetryText();
    // SessionObserver: the sync's stages and progress, its failure and its end.
    void stageBegan(SessionStage stage) override;
    void countProgressed(SessionStage stage, std::uint64_t done, std::uint64_t total) override;
    void uploadProgressed(double fraction, std::int64_t bytesSent, std::int64_t bytesTotal) override;
    // The retry line stays until the wait it tells of is over and the work moves on.
    void retrying(const SessionRetry& retry) override;
    void failed(const SessionFailure& failure) override;
    void ended(const SessionEnd& end) override;

    const UploadTarget target_;
    UploadRate rate_;
    bool hasFailed_ = false;
    // When the wait the retry line tells of is over.
    std::chrono::steady_clock::time_point retryDue_;
};

}  // namespace tomely
