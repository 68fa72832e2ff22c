#include "steps/WizardOrder.h"

#include "session/SessionSettings.h"
#include "steps/ACLocateBookViewController.h"
#include "steps/ACPrepareBookViewController.h"
#include "steps/ACUploadBookViewController.h"
#include "steps/ACUploadDoneViewController.h"

namespace tomely::WizardOrder {
namespace {

// Each step's view is described under its class's name.
template <class Step, class... Arguments>
void install(std::string_view nibName, ACMainViewController& container, Arguments&&... arguments) {
    if (auto step = ACStepViewController::initWithNibName<Step>(nibName, container.mainBundle(), container,
                                                                std::forward<Arguments>(arguments)...)) {
        step->addToMainViewController();
    }
}

}  // namespace

std::shared_ptr<ACStepViewController> makeSignInStep(ACMainViewController& container, SignInContext context) {
    auto session = PublishSession::inApplicationSupport();
    const SessionSettings settings = sessionSettings(context.stores.userDefaults);
    session->setRetryPolicy(RetryPolicy(settings.retries));
    session->setPartsInFlight(settings.partsInFlight);
    return ACStepViewController::initWithNibName<ACAuthViewController>(
        "ACAuthViewController", container.mainBundle(), container, std::move(context), std::move(session));
}

void installLocateStep(ACMainViewController& container, std::shared_ptr<PublishSession> session,
                       std::optional<std::string> proposedBookPath) {
    install<ACLocateBookViewController>("ACLocateBookViewController", container, std::move(session),
                                        std::move(proposedBookPath));
}

void installPrepareStep(ACMainViewController& container, std::shared_ptr<PublishSession> session, BookListing listing) {
    install<ACPrepareBookViewController>("ACPrepareBookViewController", container, std::move(session),
                                         std::move(listing));
}

void installUploadStep(ACMainViewController& container, std::shared_ptr<PublishSession> session, UploadTarget target) {
    install<ACUploadBookViewController>("ACUploadBookViewController", container, std::move(session), std::move(target));
}

void installDoneStep(ACMainViewController& container, std::string receipt) {
    install<ACUploadDoneViewController>("ACUploadDoneViewController", container, std::move(receipt));
}

}  // namespace tomely::WizardOrder
