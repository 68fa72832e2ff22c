#include "steps/ACUploadBookViewController.h"

#include "app/ACFailure.h"
#include "steps/ACUploadDoneViewController.h"
#include "steps/UploadBookView.h"
#include "support/SupportDirectories.h"

namespace tomely {

ACUploadBookViewController::ACUploadBookViewController(std::unique_ptr<View> view,
                                                       ACMainViewController& mainViewController, std::string bookGuid,
                                                       std::optional<JSONValue> bookId,
                                                       std::optional<std::string> bookName)
    : ACStepViewController(std::move(view), mainViewController),
      bookGuid_(std::move(bookGuid)),
      target_{std::move(bookId), std::move(bookName)} {}

ProgressIndicator& ACUploadBookViewController::progressBar() const {
    return viewAs<UploadBookView>().progressBar();
}

TextControl& ACUploadBookViewController::progressTextField() const {
    return viewAs<UploadBookView>().progressTextField();
}

void ACUploadBookViewController::addToMainViewController() {
    ACStepViewController::addToMainViewController();
    ACMainViewController& container = mainViewController();
    container.stepFour();
    container.setWorkingInfo(std::nullopt);
    container.setContinueButtonEnabled(false);

    const std::optional<std::string> supportDirectory = applicationSupportDirectory();
    if (!supportDirectory) {
        // Already logged; without the directory there is no book to send.
        hasFailed_ = true;
        ACFailure::httpUploadBookFailure(container.desktop());
        return;
    }
    sync_ = BookSync::create(ShelfClient(), WorkArea::inDirectory(*supportDirectory), bookGuid_, target_);
    // The step may go before the sync's last report (the done step replaces it, or the
    // application ends); the blocks hold it weakly.
    const auto weak = std::weak_ptr(std::static_pointer_cast<ACUploadBookViewController>(shared_from_this()));
    auto withStep = [weak](auto show) {
        return [weak, show](auto... arguments) {
            if (auto step = weak.lock()) {
                ((*step).*show)(arguments...);
            }
        };
    };
    sync_->setStageBlock(withStep(&ACUploadBookViewController::showStage));
    sync_->setCountBlock(withStep(&ACUploadBookViewController::showCount));
    sync_->setUploadProgressBlock(withStep(&ACUploadBookViewController::showUploadProgress));
    sync_->setFailureBlock(withStep(&ACUploadBookViewController::showFailure));
    sync_->setFinishedBlock([weak](BookSyncResult result) {
        auto step = weak.lock();
        if (step && result == BookSyncResult::Succeeded) {
            step->showDone();
        }
    });
    sync_->start();
}

void ACUploadBookViewController::showStage(BookSyncStage stage) {
    mainViewController().setWorkingInfo(BookSync::activityText(stage));
    ProgressIndicator& bar = progressBar();
    switch (stage) {
        case BookSyncStage::Splitting:
        case BookSyncStage::Hashing:
            bar.setIndeterminate(false);
            bar.setValue(0);
            break;
        case BookSyncStage::Comparing:
            bar.setIndeterminate(true);
            bar.startAnimation();
            break;
        case BookSyncStage::Compressing:
        case BookSyncStage::Uploading:
            bar.setIndeterminate(false);
            break;
    }
    if (const std::optional<std::string> text = BookSync::stageText(stage)) {
        progressTextField().setText(*text);
    }
}

void ACUploadBookViewController::showCount(BookSyncStage stage, std::uint64_t done, std::uint64_t total) {
    ProgressIndicator& bar = progressBar();
    bar.setIndeterminate(false);
    bar.setMaxValue(static_cast<double>(total));
    bar.setValue(static_cast<double>(done));
    progressTextField().setText(BookSync::countText(stage, done, total));
}

void ACUploadBookViewController::showUploadProgress(double fraction, std::int64_t bytesSent, std::int64_t bytesTotal) {
    ProgressIndicator& bar = progressBar();
    bar.setValue(fraction);
    bar.setIndeterminate(false);
    bar.setMaxValue(1);
    progressTextField().setText(BookSync::uploadText(fraction, bytesSent, bytesTotal));
}

void ACUploadBookViewController::showFailure(const BookSyncFailure& failure) {
    hasFailed_ = true;
    Desktop& desktop = mainViewController().desktop();
    if (const auto* local = std::get_if<Error>(&failure.cause)) {
        ACFailure::bookPreparationFailure(desktop, *local);
    } else if (failure.stage == BookSyncStage::Comparing) {
        // An answer that cannot be followed shows the status it came with, as any other.
        ACFailure::httpFailure(desktop, std::get<CallFailure>(failure.cause));
    } else {
        ACFailure::httpUploadBookFailure(desktop);
    }
}

void ACUploadBookViewController::showDone() {
    ACMainViewController& container = mainViewController();
    if (auto done = ACStepViewController::initWithNibName<ACUploadDoneViewController>(
            "ACUploadDoneViewController", container.mainBundle(), container)) {
        done->addToMainViewController();
    }
}

}  // namespace tomely
