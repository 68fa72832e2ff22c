#pragma once

#include <memory>
#include <optional>
#include <string>

#include "session/PublishSession.h"
#include "steps/ACAuthViewController.h"

namespace tomely {

class ACMainViewController;
class ACStepViewController;

// The wizard's steps, in the order the author meets them, and what each hands to the next. A
// step creates and installs its successor through these once its own part is done; the
// container then owns the new step and releases the old one. There is no way back.
//
//   1. sign-in  ACAuthViewController         made by the application, which hands it its stores,
//                                            its window and a book it was asked to open; it
//                                            starts the session and signs in
//   2. locate   ACLocateBookViewController   <- the session, signed in, and that book; opens the
//                                            book the author names and lists the shelf
//   3. prepare  ACPrepareBookViewController  <- the session and its listing (the books, the
//                                            GUID, the pre-selected row); the author chooses
//                                            the target
//   4. upload   ACUploadBookViewController   <- the session and the target; syncs
//   5. done     ACUploadDoneViewController   <- the receipt: what the upload did; Close ends the
//                                            application
namespace WizardOrder {

// The first step, with a new session whose work area is the application-support directory.
[[nodiscard]] std::shared_ptr<ACStepViewController> makeSignInStep(ACMainViewController& container,
                                                                   SignInContext context);
void installLocateStep(ACMainViewController& container, std::shared_ptr<PublishSession> session,
                       std::optional<std::string> proposedBookPath);
void installPrepareStep(ACMainViewController& container, std::shared_ptr<PublishSession> session, BookListing listing);
void installUploadStep(ACMainViewController& container, std::shared_ptr<PublishSession> session, UploadTarget target);
void installDoneStep(ACMainViewController& container, std::string receipt);

}  // namespace WizardOrder
}  // namespace tomely
