#include "publish/Publisher.h"

#include "http/ServiceAPI.h"
#include "http/ServiceURL.h"
#include "publish/PublishTarget.h"
#include "session/SessionTexts.h"

namespace tomely {

std::shared_ptr<Publisher> Publisher::create(PublishOptions options, SecretText password, WorkArea workArea,
                                             PublishOutput& output) {
    return std::shared_ptr<Publisher>(
        new Publisher(std::move(options), std::move(password), std::move(workArea), output));
}

Publisher::Publisher(PublishOptions options, SecretText password, WorkArea workArea, PublishOutput& output)
    : options_(std::move(options)),
      password_(std::move(password)),
      output_(output),
      session_(PublishSession::create(ShelfClient(), [workArea = std::move(workArea)](Error*) { return workArea; })),
      rate_(options_.maxSendBytesPerSecond) {}

void Publisher::start(FinishedBlock finished) {
    finished_ = std::move(finished);
    self_ = shared_from_this();
    session_->setObserver(std::shared_ptr<SessionObserver>(shared_from_this(), static_cast<SessionObserver*>(this)));
    session_->setRetryPolicy(RetryPolicy(options_.retries));
    session_->setPartsInFlight(options_.partsInFlight);
    session_->signIn(options_.email, password_.text());
    // The sign-in's request holds its own copy now.
    password_.erase();
}

void Publisher::cancel() {
    if (!ended_) {
        session_->cancel();
    }
}

void Publisher::stageBegan(SessionStage stage) {
    switch (stage) {
        case SessionStage::SigningIn:
            output_.stage(stage, "Signing in as " + options_.email + " to " + serviceDomainName());
            return;
        case SessionStage::Opening:
            output_.stage(stage, "Opening " + options_.bookPath);
            return;
        default:
            output_.stage(stage, stageText(stage).value_or(""));
            return;
    }
}

void Publisher::countProgressed(SessionStage stage, std::uint64_t done, std::uint64_t total) {
    output_.count(stage, done, total);
}

void Publisher::uploadProgressed(double fraction, std::int64_t /*bytesSent*/, std::int64_t bytesTotal) {
    const SteadyUploadTotal::Figures figures = uploadTotal_.shown(fraction, bytesTotal);
    rate_.sample(UploadRate::Clock::now(), figures.sent);
    output_.upload({figures.sent, figures.total, rate_.bytesPerSecond(), rate_.secondsLeft(figures.total)});
}

void Publisher::signedIn() {
    session_->openBook(options_.bookPath);
}

void Publisher::credentialsRefused() {
    fail({PublishExit::SignInRefused, "the service refused the e-mail address and password of " + options_.email +
                                          " (403); check them, or reset the password at " +
                                          ServiceAPI::recoverAccountPageURL().absoluteString()});
}

void Publisher::booksListed(const BookListing& listing) {
    if (const std::optional<std::string> ignored =
            listing.books ? unreplaceableBooksNotice(*listing.books) : std::nullopt) {
        output_.notice(*ignored);
    }
    if (options_.listBooks) {
        listed_ = true;
        output_.listed(listing);
        // Nothing of the book is sent: the session ends here.
        session_->cancel();
        return;
    }
    auto target = resolvePublishTarget(options_.replaceBookId, options_.newTitle, listing);
    if (auto* refused = std::get_if<PublishFailure>(&target)) {
        fail(std::move(*refused));
        return;
    }
    session_->sync(std::get<UploadTarget>(std::move(target)), {options_.dryRun, options_.maxSendBytesPerSecond});
}

void Publisher::retrying(const SessionRetry& retry) {
    output_.retrying(retry);
}

void Publisher::failed(const SessionFailure& failure) {
    failure_ = sessionFailure(failure, options_.bookPath);
}

void Publisher::ended(const SessionEnd& end) {
    switch (end.result) {
        case SessionResult::Cancelled:
            if (listed_) {
                ended_ = true;
                finish(PublishExit::Published);
                return;
            }
            fail({PublishExit::Interrupted,
                  "interrupted; nothing of this run is left behind, and " + std::string(kRunAgainSendsWhatIsMissing)});
            return;
        case SessionResult::Failed:
            fail(failure_.value_or(PublishFailure{}));
            return;
        case SessionResult::Succeeded:
            succeed(end.summary);
            return;
    }
}

void Publisher::succeed(const SessionSummary& summary) {
    if (ended_) {
        return;
    }
    ended_ = true;
    const PublishSummary::Outcome outcome = options_.dryRun          ? PublishSummary::Outcome::DryRun
                                            : summary.partsSent == 0 ? PublishSummary::Outcome::NothingToSend
                                                                     : PublishSummary::Outcome::Published;
    output_.succeeded({outcome, summary});
    finish(PublishExit::Published);
}

void Publisher::fail(PublishFailure failure) {
    if (ended_) {
        return;
    }
    ended_ = true;
    output_.failed(failure);
    finish(failure.exit);
}

void Publisher::finish(PublishExit exit) {
    if (finished_) {
        finished_(exit);
    }
    finished_ = nullptr;
    const std::shared_ptr<Publisher> keepUntilReturn = std::move(self_);
}

}  // namespace tomely
