#pragma once

#include <memory>

#include "app/ACStepViewController.h"
#include "session/PublishSession.h"

namespace tomely {

// A wizard step that presents the publishing session: it holds the session, and from its
// installation on it is the session's observer, until the next step takes over. A failure ends
// the wizard through its alert (sessionFailureAlert). Main thread only.
class SessionStep : public ACStepViewController, protected SessionObserver {
public:
    // Installs the step and makes it the session's observer. Steps override it, call this first,
    // then do their own set-up.
    void addToMainViewController() override;

protected:
    SessionStep(std::unique_ptr<View> view, ACMainViewController& mainViewController,
                std::shared_ptr<PublishSession> session);

    [[nodiscard]] PublishSession& session() const { return *session_; }
    // For the step that follows.
    [[nodiscard]] const std::shared_ptr<PublishSession>& sharedSession() const { return session_; }

    // Shows the failure's alert, after which the application ends.
    void failed(const SessionFailure& failure) override;

private:
    std::shared_ptr<PublishSession> session_;
};

}  // namespace tomely
