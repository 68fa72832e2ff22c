#include "session/PublishSession.h"

#include "platform/MainLoop.h"
#include "platform/SerialQueue.h"
#include "shelf/BookPackage.h"
#include "upload/BookSync.h"

namespace tomely {
namespace {

SessionStage sessionStage(BookSyncStage stage) {
    switch (stage) {
        case BookSyncStage::Splitting:
            return SessionStage::Splitting;
        case BookSyncStage::Hashing:
            return SessionStage::Fingerprinting;
        case BookSyncStage::Comparing:
            return SessionStage::Comparing;
        case BookSyncStage::Compressing:
            return SessionStage::Compressing;
        case BookSyncStage::Uploading:
            return SessionStage::Uploading;
    }
    return SessionStage::Uploading;
}

SessionResult sessionResult(BookSyncResult result) {
    switch (result) {
        case BookSyncResult::Succeeded:
            return SessionResult::Succeeded;
        case BookSyncResult::Failed:
            return SessionResult::Failed;
        case BookSyncResult::Cancelled:
            return SessionResult::Cancelled;
    }
    return SessionResult::Failed;
}

}  // namespace

std::shared_ptr<PublishSession> PublishSession::create(ShelfClient client, WorkAreaMaker makeWorkArea) {
    return std::shared_ptr<PublishSession>(new PublishSession(std::move(client), std::move(makeWorkArea)));
}

std::shared_ptr<PublishSession> PublishSession::inApplicationSupport() {
    return create(ShelfClient(), [](Error* error) { return WorkArea::freshInApplicationSupport(error); });
}

PublishSession::PublishSession(ShelfClient client, WorkAreaMaker makeWorkArea)
    : client_(std::move(client)), makeWorkArea_(std::move(makeWorkArea)) {}

void PublishSession::require(State state) const {
    if (state_ != state) {
        throw SessionOutOfTurn();
    }
}

void PublishSession::begin(SessionStage stage) const {
    tell([stage](SessionObserver& observer) { observer.stageBegan(stage); });
}

void PublishSession::signIn(std::string_view email, std::string_view password) {
    require(State::Idle);
    state_ = State::SigningIn;
    self_ = shared_from_this();
    call_ = client_.signIn(
        email, password, [self = shared_from_this()](const SignInResult& result) { self->signInAnswered(result); },
        retries(SessionStage::SigningIn));
    // Told once the call runs, so that a cancel from this event reaches it.
    begin(SessionStage::SigningIn);
}

void PublishSession::signInAnswered(const SignInResult& result) {
    call_.reset();
    if (cancelled_) {
        end(SessionResult::Cancelled);
        return;
    }
    if (const auto* failure = std::get_if<CallFailure>(&result)) {
        fail({SessionStage::SigningIn, *failure});
        return;
    }
    // The author may try again: nothing runs until then.
    self_.reset();
    if (std::holds_alternative<CredentialsRefused>(result)) {
        state_ = State::Idle;
        tell([](SessionObserver& observer) { observer.credentialsRefused(); });
        return;
    }
    state_ = State::SignedIn;
    tell([](SessionObserver& observer) { observer.signedIn(); });
}

void PublishSession::openBook(std::string bookPath) {
    require(State::SignedIn);
    state_ = State::Opening;
    self_ = shared_from_this();
    begin(SessionStage::Opening);
    // The queue keeps itself alive until its one operation has run.
    SerialQueue::create("tomely.session.open-book")->addOperation([self = shared_from_this(), bookPath] {
        // Made here rather than on the main thread: deleting a large earlier book takes a while.
        Error failure;
        std::optional<WorkArea> workArea = self->makeWorkArea_(&failure);
        std::optional<std::string> bookGuid;
        if (workArea) {
            const auto progress = [self](std::uint64_t index, std::uint64_t totalFiles) {
                // The entry just extracted counts as done.
                MainLoop::shared()->post([self, index, totalFiles] {
                    self->tell([index, totalFiles](SessionObserver& observer) {
                        observer.countProgressed(SessionStage::Opening, index + 1, totalFiles);
                    });
                });
            };
            bookGuid = openBookPackage(bookPath, workArea->working(), &failure, progress, self->opening_.get());
        }
        MainLoop::shared()->post([self, workArea = std::move(workArea), bookGuid = std::move(bookGuid), failure] {
            self->bookOpened(workArea, bookGuid, failure);
        });
    });
}

void PublishSession::bookOpened(std::optional<WorkArea> workArea, std::optional<std::string> bookGuid,
                                const Error& failure) {
    workArea_ = std::move(workArea);
    if (cancelled_) {
        end(SessionResult::Cancelled);
        return;
    }
    if (!bookGuid) {
        fail({SessionStage::Opening, failure});
        return;
    }
    listing_ = BookListing{std::move(*bookGuid), std::nullopt, std::nullopt};
    state_ = State::Listing;
    call_ =
        client_.listBooks([self = shared_from_this()](const BookListResult& result) { self->booksAnswered(result); },
                          retries(SessionStage::Listing));
    begin(SessionStage::Listing);
}

void PublishSession::booksAnswered(const BookListResult& result) {
    call_.reset();
    if (cancelled_) {
        end(SessionResult::Cancelled);
        return;
    }
    if (const auto* failure = std::get_if<CallFailure>(&result)) {
        fail({SessionStage::Listing, *failure});
        return;
    }
    listing_->books = std::get<std::optional<std::vector<ExistingBook>>>(result);
    if (listing_->books) {
        listing_->preselectedRow = preselectedRow(*listing_->books, listing_->bookGuid);
    }
    state_ = State::Listed;
    self_.reset();
    tell([this](SessionObserver& observer) { observer.booksListed(*listing_); });
}

void PublishSession::sync(UploadTarget target, SyncSettings settings) {
    require(State::Listed);
    state_ = State::Syncing;
    self_ = shared_from_this();
    summary_.target = target;
    tell([&target](SessionObserver& observer) { observer.targetChosen(target); });
    if (cancelled_) {
        end(SessionResult::Cancelled);
        return;
    }
    sync_ = BookSync::create(client_, *workArea_, listing_->bookGuid, std::move(target));
    sync_->setStopsBeforeManifest(settings.stopsBeforeManifest);
    sync_->setMaxSendBytesPerSecond(settings.maxSendBytesPerSecond);
    sync_->setMaxPartsInFlight(partsInFlight_);
    sync_->setRetryPolicy(retryPolicy_);
    // The sync's blocks go once it has ended, and the session holds the sync until then.
    const std::weak_ptr<PublishSession> weak = weak_from_this();
    sync_->setStageBlock([weak](BookSyncStage stage) {
        if (auto self = weak.lock()) {
            self->begin(sessionStage(stage));
        }
    });
    sync_->setCountBlock([weak](BookSyncStage stage, std::uint64_t done, std::uint64_t total) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        if (stage == BookSyncStage::Compressing) {
            self->summary_.partsSent = total;
        }
        self->tell([stage, done, total](SessionObserver& observer) {
            observer.countProgressed(sessionStage(stage), done, total);
        });
    });
    sync_->setFingerprintedBlock([weak](std::uint64_t parts, std::uint64_t compressedBytes) {
        if (auto self = weak.lock()) {
            self->summary_.parts = parts;
            self->summary_.compressedBytes = compressedBytes;
        }
    });
    sync_->setUploadProgressBlock([weak](double fraction, std::int64_t bytesSent, std::int64_t bytesTotal) {
        if (auto self = weak.lock()) {
            self->summary_.bytesSent = bytesSent;
            self->tell([fraction, bytesSent, bytesTotal](SessionObserver& observer) {
                observer.uploadProgressed(fraction, bytesSent, bytesTotal);
            });
        }
    });
    sync_->setRetryingBlock([weak](const BookSyncRetry& retry) {
        if (auto self = weak.lock()) {
            self->retrying(sessionStage(retry.failure.stage), std::get<CallFailure>(retry.failure.cause),
                           {retry.attempt, retry.attempts, retry.delay});
        }
    });
    sync_->setFailureBlock([weak](const BookSyncFailure& failure) {
        if (auto self = weak.lock()) {
            self->syncFailed(failure);
        }
    });
    sync_->setFinishedBlock([weak](BookSyncResult result) {
        if (auto self = weak.lock()) {
            self->end(sessionResult(result));
        }
    });
    sync_->start();
}

CallRetries PublishSession::retries(SessionStage stage) {
    return {retryPolicy_,
            [weak = weak_from_this(), stage](const CallFailure& failure, const RetryPolicy::Retry& retry) {
                if (auto self = weak.lock()) {
                    self->retrying(stage, failure, retry);
                }
            }};
}

void PublishSession::retrying(SessionStage stage, const CallFailure& failure, const RetryPolicy::Retry& retry) const {
    const SessionRetry told{stage, failure, retry.attempt, retry.attempts, retry.delay};
    tell([&told](SessionObserver& observer) { observer.retrying(told); });
}

void PublishSession::syncFailed(const BookSyncFailure& failure) {
    const SessionFailure reported{sessionStage(failure.stage), failure.cause};
    tell([&reported](SessionObserver& observer) { observer.failed(reported); });
}

void PublishSession::cancel() {
    if (state_ == State::Ended || cancelled_) {
        return;
    }
    cancelled_ = true;
    switch (state_) {
        case State::Idle:
        case State::SignedIn:
        case State::Listed:
            end(SessionResult::Cancelled);
            return;
        case State::SigningIn:
        case State::Listing:
            call_->cancel();
            return;
        case State::Opening:
            opening_->cancel();
            return;
        case State::Syncing:
            // Before the sync exists (a cancel while the target is told), sync() ends the session.
            if (sync_) {
                sync_->cancel();
            }
            return;
        case State::Ended:
            return;
    }
}

void PublishSession::fail(SessionFailure failure) {
    tell([&failure](SessionObserver& observer) { observer.failed(failure); });
    end(SessionResult::Failed);
}

void PublishSession::end(SessionResult result) {
    if (state_ == State::Ended) {
        return;
    }
    state_ = State::Ended;
    // A sync deletes the work area as it ends; before one, what was extracted stays where it is.
    sync_.reset();
    const SessionEnd ended{result, summary_};
    tell([&ended](SessionObserver& observer) { observer.ended(ended); });
    const std::shared_ptr<PublishSession> keepUntilReturn = std::move(self_);
}

}  // namespace tomely
