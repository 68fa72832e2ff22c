// Connection reuse: which exchanges may share a connection, and for how long it may idle.
#include <cmath>
#include <utility>

#include "http/ConnectionPool.h"
#include "http/HTTPRequest.h"

namespace tomely {

double HTTPRequest::persistentConnectionTimeoutSeconds() const {
    std::scoped_lock lock(cancelledLock_);
    return persistentConnectionTimeoutSeconds_;
}

void HTTPRequest::setPersistentConnectionTimeoutSeconds(double seconds) {
    std::scoped_lock lock(cancelledLock_);
    persistentConnectionTimeoutSeconds_ = seconds;
}

bool HTTPRequest::connectionCanBeReused() const {
    std::scoped_lock lock(cancelledLock_);
    return connectionCanBeReused_;
}

void HTTPRequest::expirePersistentConnections() {
    ConnectionPool::shared().expireAll();
}

void HTTPRequest::applyConnectionPolicy(CurlTransfer::Settings& settings) {
    connectionCanBeReused_ = false;
    if (!shouldAttemptPersistentConnection_) {
        // A body (every POST and PUT) goes on a connection of its own, closed afterwards.
        settings.freshConnection = true;
        settings.forbidReuse = true;
        return;
    }
    // A repeat after a lost connection must not land on another stale one, nor a request on a
    // connection that has idled longer than its server allows.
    const bool expired = ConnectionPool::shared().takeExpired(url_);
    settings.freshConnection = retryCount_ > 0 || expired || std::exchange(needsFreshConnection_, false);
    settings.maxIdleSeconds = std::max(1L, std::lround(std::ceil(persistentConnectionTimeoutSeconds_)));
}

void HTTPRequest::decideConnectionReuse(const ResponseHead& head) {
    if (!shouldAttemptPersistentConnection_) {
        return;
    }
    const KeepAlive keepAlive = keepAliveFor(head);
    connectionCanBeReused_ = keepAlive.reusable;
    if (keepAlive.timeoutSeconds) {
        persistentConnectionTimeoutSeconds_ = *keepAlive.timeoutSeconds;
    }
    if (!connectionCanBeReused_ && transfer_) {
        transfer_->closeConnectionAfterwards();
    }
}

void HTTPRequest::releaseConnection() {
    if (connectionCanBeReused_) {
        ConnectionPool::shared().release(url_, persistentConnectionTimeoutSeconds_);
    } else {
        ConnectionPool::shared().remove(url_);
    }
}

}  // namespace tomely
