#include "steps/ACUploadBookViewController.h"

#include "session/SessionTexts.h"
#include "steps/UploadBookView.h"
#include "steps/WizardOrder.h"

namespace tomely {
namespace {

// The container's working info while the sync runs.
std::string activityText(SessionStage stage) {
    return stage == SessionStage::Splitting || stage == SessionStage::Fingerprinting ? "Processing" : "Uploading";
}

}  // namespace

ACUploadBookViewController::ACUploadBookViewController(std::unique_ptr<View> view,
                                                       ACMainViewController& mainViewController,
                                                       std::shared_ptr<PublishSession> session, UploadTarget target)
    : SessionStep(std::move(view), mainViewController, std::move(session)), target_(std::move(target)) {}

ProgressIndicator& ACUploadBookViewController::progressBar() const {
    return viewAs<UploadBookView>().progressBar();
}

TextControl& ACUploadBookViewController::progressTextField() const {
    return viewAs<UploadBookView>().progressTextField();
}

TextControl& ACUploadBookViewController::paceTextField() const {
    return viewAs<UploadBookView>().paceTextField();
}

void ACUploadBookViewController::addToMainViewController() {
    SessionStep::addToMainViewController();
    ACMainViewController& container = mainViewController();
    container.stepFour();
    container.setWorkingInfo(std::nullopt);
    container.setContinueButtonEnabled(false);
    session().sync(target_);
}

void ACUploadBookViewController::stageBegan(SessionStage stage) {
    mainViewController().setWorkingInfo(activityText(stage));
    // A call that was waiting to be made again has been answered by now.
    clearRetryText();
    ProgressIndicator& bar = progressBar();
    switch (stage) {
        case SessionStage::Splitting:
        case SessionStage::Fingerprinting:
            bar.setIndeterminate(false);
            bar.setValue(0);
            // The counts that follow say what is done.
            return;
        case SessionStage::Comparing:
            bar.setIndeterminate(true);
            bar.startAnimation();
            break;
        case SessionStage::Compressing:
            bar.setIndeterminate(false);
            break;
        default:
            // Uploading: the upload's progress says what is done.
            bar.setIndeterminate(false);
            return;
    }
    progressTextField().setText(stageText(stage).value_or(""));
}

void ACUploadBookViewController::countProgressed(SessionStage stage, std::uint64_t done, std::uint64_t total) {
    ProgressIndicator& bar = progressBar();
    bar.setIndeterminate(false);
    bar.setMaxValue(static_cast<double>(total));
    bar.setValue(static_cast<double>(done));
    progressTextField().setText(countText(stageText(stage).value_or(""), done, total));
}

void ACUploadBookViewController::uploadProgressed(double fraction, std::int64_t bytesSent, std::int64_t bytesTotal) {
    ProgressIndicator& bar = progressBar();
    bar.setValue(fraction);
    bar.setIndeterminate(false);
    bar.setMaxValue(1);
    progressTextField().setText(uploadText(fraction, bytesSent, bytesTotal));
    rate_.sample(UploadRate::Clock::now(), bytesSent);
    paceTextField().setText(paceText(rate_.bytesPerSecond(), rate_.secondsLeft(bytesTotal)));
    if (std::chrono::steady_clock::now() >= retryDue_) {
        clearRetryText();
    }
}

void ACUploadBookViewController::retrying(const SessionRetry& retry) {
    retryDue_ = std::chrono::steady_clock::now() + retry.delay;
    viewAs<UploadBookView>().retryTextField().setText(retryText(retry));
}

void ACUploadBookViewController::clearRetryText() {
    TextControl& line = viewAs<UploadBookView>().retryTextField();
    if (!line.text().empty()) {
        line.setText("");
    }
}

void ACUploadBookViewController::failed(const SessionFailure& failure) {
    hasFailed_ = true;
    SessionStep::failed(failure);
}

void ACUploadBookViewController::ended(const SessionEnd& end) {
    if (end.result == SessionResult::Succeeded) {
        WizardOrder::installDoneStep(mainViewController(), receiptText(end.summary, session().listing()));
    }
}

}  // namespace tomely
