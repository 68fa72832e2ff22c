#include "steps/SessionStep.h"

#include "app/ACFailure.h"
#include "steps/SessionFailureAlert.h"

namespace tomely {

SessionStep::SessionStep(std::unique_ptr<View> view, ACMainViewController& mainViewController,
                         std::shared_ptr<PublishSession> session)
    : ACStepViewController(std::move(view), mainViewController), session_(std::move(session)) {}

void SessionStep::addToMainViewController() {
    ACStepViewController::addToMainViewController();
    session_->setObserver(std::shared_ptr<SessionObserver>(shared_from_this(), static_cast<SessionObserver*>(this)));
}

void SessionStep::failed(const SessionFailure& failure) {
    ACFailure::runAndTerminate(mainViewController().desktop(), sessionFailureAlert(failure));
}

}  // namespace tomely
