#pragma once

#include <cstdint>

#include "session/SessionEvents.h"

namespace tomely {

// Whoever presents a PublishSession: a wizard step while it is installed, or the publisher for a
// whole run. Every event comes on the main thread; an observer overrides those it shows.
class SessionObserver {
public:
    virtual ~SessionObserver() = default;

    // A stage has begun.
    virtual void stageBegan(SessionStage /*stage*/) {}
    // Files done in a stage that counts them: Opening (entries extracted), Splitting,
    // Fingerprinting and Compressing.
    virtual void countProgressed(SessionStage /*stage*/, std::uint64_t /*done*/, std::uint64_t /*total*/) {}
    // Uploading: the fraction of all request bodies sent, and the bytes behind it.
    virtual void uploadProgressed(double /*fraction*/, std::int64_t /*bytesSent*/, std::int64_t /*bytesTotal*/) {}
    // The answer to signIn(): signed in, or the service refused the credentials (403), after which
    // signIn() may be called again.
    virtual void signedIn() {}
    virtual void credentialsRefused() {}
    // openBook() has opened the book and listed the shelf.
    virtual void booksListed(const BookListing& /*listing*/) {}
    // sync() has taken its target.
    virtual void targetChosen(const UploadTarget& /*target*/) {}
    // A call is to be made again after a wait; nothing has failed yet.
    virtual void retrying(const SessionRetry& /*retry*/) {}
    // The first failure, and only that one; ended() follows.
    virtual void failed(const SessionFailure& /*failure*/) {}
    // The end, exactly once.
    virtual void ended(const SessionEnd& /*end*/) {}
};

}  // namespace tomely
