#include "publish/Publisher.h"

#include "http/ServiceAPI.h"
#include "http/ServiceURL.h"
#include "platform/MainLoop.h"
#include "platform/SerialQueue.h"
#include "publish/PublishTarget.h"
#include "shelf/BookPackage.h"

namespace tomely {

PublishFailure requestFailure(const std::string& what, const CallFailure& failure) {
    if (failure.statusCode == 0) {
        const std::string reason = failure.error ? failure.error->localizedDescription() : std::string("no answer");
        return {PublishExit::NetworkFailure, what + " failed: " + reason + " (" + failure.url + ")"};
    }
    // A 2xx answer refused for what it says.
    if (failure.error && ServiceAPI::isSuccessStatus(failure.statusCode)) {
        return {PublishExit::ServiceError,
                what + " failed: " + failure.error->localizedDescription() + " (" + failure.url + ")"};
    }
    std::string message =
        what + " failed: the service answered " + std::to_string(failure.statusCode) + " (" + failure.url + ")";
    if (failure.retryAfter) {
        message += "; retry after " + *failure.retryAfter + " s";
    }
    return {PublishExit::ServiceError, message};
}

PublishFailure syncFailure(const BookSyncFailure& failure) {
    if (const auto* local = std::get_if<Error>(&failure.cause)) {
        return {PublishExit::BookUnreadable, "preparing the book failed: " + local->localizedDescription()};
    }
    return requestFailure(
        failure.stage == BookSyncStage::Comparing ? "comparing the book with your shelf" : "uploading the book",
        std::get<CallFailure>(failure.cause));
}

std::shared_ptr<Publisher> Publisher::create(PublishOptions options, std::string password, WorkArea workArea,
                                             PublishOutput& output) {
    return std::shared_ptr<Publisher>(
        new Publisher(std::move(options), std::move(password), std::move(workArea), output));
}

Publisher::Publisher(PublishOptions options, std::string password, WorkArea workArea, PublishOutput& output)
    : options_(std::move(options)),
      password_(std::move(password)),
      workArea_(std::move(workArea)),
      output_(output),
      rate_(options_.maxSendBytesPerSecond) {}

void Publisher::start(FinishedBlock finished) {
    finished_ = std::move(finished);
    self_ = shared_from_this();
    signIn();
}

void Publisher::cancel() {
    if (cancelled_ || ended_) {
        return;
    }
    cancelled_ = true;
    opening_->cancel();
    if (call_) {
        call_->cancel();
    }
    if (sync_) {
        sync_->cancel();
    }
}

bool Publisher::endIfCancelled() {
    if (cancelled_) {
        fail({PublishExit::Interrupted, "interrupted; nothing of this run is left behind"});
    }
    return cancelled_;
}

void Publisher::signIn() {
    output_.stage(PublishStage::SigningIn, "Signing in as " + options_.email + " to " + serviceDomainName());
    call_ = ShelfClient().signIn(options_.email, password_,
                                 [self = shared_from_this()](SignInResult result) { self->signInAnswered(result); });
}

void Publisher::signInAnswered(const SignInResult& result) {
    call_.reset();
    if (endIfCancelled()) {
        return;
    }
    if (std::holds_alternative<SignedIn>(result)) {
        openBook();
    } else if (const auto* failure = std::get_if<CallFailure>(&result)) {
        fail(requestFailure("signing in", *failure));
    } else {
        fail({PublishExit::SignInRefused,
              "the service refused the e-mail address and password of " + options_.email + " (403)"});
    }
}

void Publisher::openBook() {
    output_.stage(PublishStage::Opening, "Opening " + options_.bookPath);
    // The queue keeps itself alive until its one operation has run.
    SerialQueue::create("tomely.publish.open-book")->addOperation([self = shared_from_this()] {
        const auto progress = [self](std::uint64_t index, std::uint64_t totalFiles) {
            MainLoop::shared()->post(
                [self, index, totalFiles] { self->output_.count(PublishStage::Opening, index + 1, totalFiles); });
        };
        Error failure;
        std::optional<std::string> guid = openBookPackage(self->options_.bookPath, self->workArea_.working(), &failure,
                                                          progress, self->opening_.get());
        MainLoop::shared()->post([self, guid = std::move(guid), failure] { self->bookOpened(guid, failure); });
    });
}

void Publisher::bookOpened(std::optional<std::string> bookGuid, const Error& failure) {
    if (endIfCancelled()) {
        return;
    }
    if (!bookGuid) {
        fail({PublishExit::BookUnreadable, "cannot open " + options_.bookPath + ": " + failure.localizedDescription()});
        return;
    }
    bookGuid_ = std::move(*bookGuid);
    listBooks();
}

void Publisher::listBooks() {
    output_.stage(PublishStage::Listing, "Fetching your books from " + serviceDomainName());
    call_ = ShelfClient().listBooks([self = shared_from_this()](BookListResult result) { self->booksListed(result); });
}

void Publisher::booksListed(const BookListResult& result) {
    call_.reset();
    if (endIfCancelled()) {
        return;
    }
    if (const auto* failure = std::get_if<CallFailure>(&result)) {
        fail(requestFailure("listing your books", *failure));
        return;
    }
    const auto& books = std::get<std::optional<std::vector<ExistingBook>>>(result);
    auto target = resolvePublishTarget(options_.replaceBookId, options_.newTitle, books, bookGuid_);
    if (auto* refused = std::get_if<PublishFailure>(&target)) {
        fail(std::move(*refused));
        return;
    }
    sync(std::get<UploadTarget>(target));
}

void Publisher::sync(const UploadTarget& target) {
    summary_.bookId = target.bookId;
    summary_.newTitle = target.bookName;
    sync_ = BookSync::create(ShelfClient(), workArea_, bookGuid_, target);
    sync_->setStopsBeforeManifest(options_.dryRun);
    sync_->setMaxSendBytesPerSecond(options_.maxSendBytesPerSecond);
    const std::weak_ptr<Publisher> weak = weak_from_this();
    sync_->setStageBlock([weak](BookSyncStage stage) {
        if (auto self = weak.lock()) {
            self->showSyncStage(stage);
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
        self->output_.count(stage == BookSyncStage::Splitting ? PublishStage::Splitting
                            : stage == BookSyncStage::Hashing ? PublishStage::Fingerprinting
                                                              : PublishStage::Compressing,
                            done, total);
    });
    sync_->setFingerprintedBlock([weak](std::uint64_t parts, std::uint64_t bytes) {
        if (auto self = weak.lock()) {
            self->summary_.parts = parts;
            self->summary_.bytes = bytes;
        }
    });
    sync_->setUploadProgressBlock([weak](double, std::int64_t sent, std::int64_t total) {
        if (auto self = weak.lock()) {
            self->showUpload(sent, total);
        }
    });
    sync_->setFailureBlock([weak](const BookSyncFailure& failure) {
        if (auto self = weak.lock()) {
            self->syncFailure_ = failure;
        }
    });
    sync_->setFinishedBlock([weak](BookSyncResult result) {
        if (auto self = weak.lock()) {
            self->syncFinished(result);
        }
    });
    sync_->start();
}

void Publisher::showSyncStage(BookSyncStage stage) {
    switch (stage) {
        case BookSyncStage::Splitting:
            output_.stage(PublishStage::Splitting, "Checking the book is okay");
            break;
        case BookSyncStage::Hashing:
            output_.stage(PublishStage::Fingerprinting, "Looking for changes in your book");
            break;
        case BookSyncStage::Comparing:
            output_.stage(PublishStage::Comparing, "Starting book synchronization");
            break;
        case BookSyncStage::Compressing:
            output_.stage(PublishStage::Compressing, "Compressing your book before sending");
            break;
        case BookSyncStage::Uploading:
            output_.stage(PublishStage::Uploading, "Uploading book");
            break;
    }
}

void Publisher::showUpload(std::int64_t sent, std::int64_t total) {
    rate_.sample(UploadRate::Clock::now(), sent);
    summary_.bytesSent = sent;
    output_.upload({sent, total, rate_.bytesPerSecond(), rate_.secondsLeft(total)});
}

void Publisher::syncFinished(BookSyncResult result) {
    sync_.reset();
    switch (result) {
        case BookSyncResult::Cancelled:
            endIfCancelled();
            return;
        case BookSyncResult::Failed: {
            fail(syncFailure(syncFailure_.value_or(BookSyncFailure{})));
            return;
        }
        case BookSyncResult::Succeeded:
            summary_.outcome = options_.dryRun           ? PublishSummary::Outcome::DryRun
                               : summary_.partsSent == 0 ? PublishSummary::Outcome::NothingToSend
                                                         : PublishSummary::Outcome::Published;
            if (!ended_) {
                ended_ = true;
                output_.succeeded(summary_);
                finish(PublishExit::Published);
            }
            return;
    }
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
