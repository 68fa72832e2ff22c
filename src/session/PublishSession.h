#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "http/RetryPolicy.h"
#include "platform/Cancellation.h"
#include "session/SessionEvents.h"
#include "session/SessionObserver.h"
#include "shelf/ShelfClient.h"
#include "support/WorkArea.h"
#include "upload/ACMultiFileUploader.h"

namespace tomely {

class BookSync;
struct BookSyncFailure;

// Thrown when an operation is started in a state the chain does not allow (a programming error
// of the front end, mended by following the diagram below).
class SessionOutOfTurn : public std::logic_error {
public:
    SessionOutOfTurn() : std::logic_error("this operation does not start from the session's state") {}
};

// How a session's sync goes, when its front end wants it otherwise than the wizard has it.
struct SyncSettings {
    // Ends the session as Succeeded once the book is fingerprinted, before the manifest: posting
    // it can already publish the book, so a rehearsal stops short of it.
    bool stopsBeforeManifest = false;
    // Caps the upload's sending rate in bytes per second (0: no cap).
    std::uint64_t maxSendBytesPerSecond = 0;
};

// One publishing of a book, under both front ends: sign in, open the book (extract it, read its
// GUID) and list the author's books, choose the target, sync. The front end starts each operation:
// the wizard waits for the author between them, the publisher chains them at once. The session
// tells one observer what happens (SessionObserver).
//
//   [idle] --signIn()--> (signing in) --signedIn--> [signed in] --openBook()--> (opening)
//     ^                        |                                                    |
//     +------------------------+  credentialsRefused                     GUID read  |
//                                                                                   v
//   [ended] <--succeeded-- (syncing) <--sync(target)-- [listed] <--booksListed-- (listing)
//
// Parentheses: work under way; brackets: waiting for the front end. A failure in any stage is
// reported once (failed) and ends the session. cancel() ends it from any state as Cancelled: in a
// waiting state at once, else once the work under way has let go (a call at once, the extraction,
// splitting and fingerprinting within one block). Whatever the path, ended comes exactly once.
//
// Ownership: the session owns the ShelfClient, the WorkArea (made once, when the book is opened,
// by the WorkAreaMaker it was given), the GUID, the list, the target and the BookSync. It keeps
// itself alive while work is under way; the front end holds it in between. The observer is held
// weakly and may change at any time (each wizard step sets itself when installed).
//
// Threads: operations, cancel() and every event on the main thread. The extraction and the GUID
// read run on a serial queue of the session's, the sync's worker stages on the sync's queues; all
// their reports are handed to the main thread.
class PublishSession : public std::enable_shared_from_this<PublishSession> {
public:
    // Makes the work area the book is opened into, once; none with `error` filled when it cannot.
    // Runs on the opening's queue.
    using WorkAreaMaker = std::function<std::optional<WorkArea>(Error* error)>;

    [[nodiscard]] static std::shared_ptr<PublishSession> create(ShelfClient client, WorkAreaMaker makeWorkArea);
    // The app's: its work area is the application-support directory, made fresh when the book is
    // opened.
    [[nodiscard]] static std::shared_ptr<PublishSession> inApplicationSupport();

    void setObserver(std::weak_ptr<SessionObserver> observer) { observer_ = std::move(observer); }
    // Which failed calls (the sign-in, the list, the manifest and each part) are made again, and
    // when; each wait is told (retrying) before it begins, and only a call whose retries are spent
    // fails the session. The default, RetryPolicy(0), makes none. Set before the call it is for.
    void setRetryPolicy(RetryPolicy policy) { retryPolicy_ = std::move(policy); }
    // How many part uploads may be under way at once (ACMultiFileUploader::kDefaultPartsInFlight);
    // 1 sends them one after another. Set before sync().
    void setPartsInFlight(std::size_t count) { partsInFlight_ = count; }

    // Idle only. Posts the credentials as given; signedIn, credentialsRefused (back to idle) or a
    // failure follows.
    void signIn(std::string_view email, std::string_view password);
    // Signed in only. Makes the work area, extracts the book at `bookPath` into it, reads its GUID
    // and lists the shelf; booksListed or a failure follows.
    void openBook(std::string bookPath);
    // Listed only. Syncs the book to `target`; targetChosen comes at once, the end later.
    void sync(UploadTarget target, SyncSettings settings = {});
    // Any state but ended.
    void cancel();

    // What the session has learnt so far (main thread).
    [[nodiscard]] const std::optional<BookListing>& listing() const { return listing_; }
    [[nodiscard]] const std::optional<UploadTarget>& target() const { return summary_.target; }

private:
    enum class State { Idle, SigningIn, SignedIn, Opening, Listing, Listed, Syncing, Ended };

    PublishSession(ShelfClient client, WorkAreaMaker makeWorkArea);

    void require(State state) const;
    // Calls `event` on the observer, if there is one.
    template <class Event>
    void tell(const Event& event) const {
        if (const std::shared_ptr<SessionObserver> observer = observer_.lock()) {
            event(*observer);
        }
    }
    void begin(SessionStage stage) const;
    void signInAnswered(const SignInResult& result);
    void bookOpened(std::optional<WorkArea> workArea, std::optional<std::string> bookGuid, const Error& failure);
    void booksAnswered(const BookListResult& result);
    // The client's retries of a call of `stage`, told to the observer.
    [[nodiscard]] CallRetries retries(SessionStage stage);
    void retrying(SessionStage stage, const CallFailure& failure, const RetryPolicy::Retry& retry) const;
    void syncFailed(const BookSyncFailure& failure);
    // Reports the failure, then the end.
    void fail(SessionFailure failure);
    void end(SessionResult result);

    const ShelfClient client_;
    const WorkAreaMaker makeWorkArea_;
    std::weak_ptr<SessionObserver> observer_;
    RetryPolicy retryPolicy_;
    std::size_t partsInFlight_ = ACMultiFileUploader::kDefaultPartsInFlight;

    // Main thread only.
    State state_ = State::Idle;
    std::shared_ptr<PublishSession> self_;
    std::optional<ShelfCall> call_;
    // Raised by cancel(); the extraction checks it between blocks.
    const std::shared_ptr<Cancellation> opening_ = std::make_shared<Cancellation>();
    std::optional<WorkArea> workArea_;
    std::optional<BookListing> listing_;
    std::shared_ptr<BookSync> sync_;
    SessionSummary summary_;
    bool cancelled_ = false;
};

}  // namespace tomely
