#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/ACStepViewController.h"
#include "json/JSONValue.h"
#include "upload/BookSync.h"

namespace tomely {

class ProgressIndicator;
class TextControl;

// The fourth step: publishes the book in the Working directory without asking anything. The sync
// itself (BookSync) splits, fingerprints, compares with the service and uploads; this step shows
// its reports on the progress bar, the progress line and the container's working indicator, ends
// the wizard with an alert on the first failure (the preparation alert for a failure on this
// machine, the HTTP ones for the service's), and installs the done step after a success only.
// Continue stays disabled throughout.
class ACUploadBookViewController : public ACStepViewController {
public:
    // `view` implements UploadBookView. `bookId` is the "book_id" of the book to replace, as the
    // list of books gave it; `bookName` the title of a new book. One of them is given.
    ACUploadBookViewController(std::unique_ptr<View> view, ACMainViewController& mainViewController,
                               std::string bookGuid, std::optional<JSONValue> bookId,
                               std::optional<std::string> bookName);

    // Installs the step and starts the sync.
    void addToMainViewController() override;

    [[nodiscard]] const std::string& bookGuid() const { return bookGuid_; }
    [[nodiscard]] const std::optional<JSONValue>& bookId() const { return target_.bookId; }
    [[nodiscard]] const std::optional<std::string>& bookName() const { return target_.bookName; }
    // Set by the first failure, which alone is reported.
    [[nodiscard]] bool hasFailed() const { return hasFailed_; }
    [[nodiscard]] ProgressIndicator& progressBar() const;
    [[nodiscard]] TextControl& progressTextField() const;

private:
    void showStage(BookSyncStage stage);
    void showCount(BookSyncStage stage, std::uint64_t done, std::uint64_t total);
    void showUploadProgress(double fraction, std::int64_t bytesSent, std::int64_t bytesTotal);
    void showFailure(const BookSyncFailure& failure);
    void showDone();

    const std::string bookGuid_;
    const UploadTarget target_;
    bool hasFailed_ = false;
    std::shared_ptr<BookSync> sync_;
};

}  // namespace tomely
