#pragma once

#include <cstdint>

#include "http/HTTPHeaders.h"
#include "http/URL.h"

namespace tomely {

class HTTPRequest;

// What a request tells its delegate. Every method runs on the main thread and does nothing
// unless overridden. The request holds its delegate weakly: a delegate that is gone is told
// nothing.
class HTTPRequestDelegate {
public:
    virtual ~HTTPRequestDelegate() = default;
    virtual void requestStarted(HTTPRequest& /*request*/) {}
    virtual void requestDidReceiveResponseHeaders(HTTPRequest& /*request*/, const HTTPHeaders& /*headers*/) {}
    // The response is a redirect the request will follow (itself, or through whoever takes it).
    virtual void requestRedirected(HTTPRequest& /*request*/) {}
    // A delegate that answers true is handed every redirect with requestWillRedirectToURL; the
    // request then waits until someone calls its redirectToURL. Asked on the network thread, so
    // the answer must not depend on state that changes while requests run.
    [[nodiscard]] virtual bool takesRedirects() const { return false; }
    virtual void requestWillRedirectToURL(HTTPRequest& /*request*/, const URL& /*url*/) {}
    virtual void requestFinished(HTTPRequest& /*request*/) {}
    virtual void requestFailed(HTTPRequest& /*request*/) {}
};

// What a request tells the queue it belongs to (a network queue counts and forwards these). Every
// method runs on the main thread, after the delegate and the request's own block, and does
// nothing unless overridden. The request holds its queue strongly until it is cleared.
class HTTPRequestQueue {
public:
    virtual ~HTTPRequestQueue() = default;
    virtual void requestStarted(HTTPRequest& /*request*/) {}
    virtual void requestDidReceiveResponseHeaders(HTTPRequest& /*request*/, const HTTPHeaders& /*headers*/) {}
    // As HTTPRequestDelegate::takesRedirects; thread-safe. A delegate that takes redirects is
    // asked first.
    [[nodiscard]] virtual bool takesRedirects() const { return false; }
    virtual void requestWillRedirectToURL(HTTPRequest& /*request*/, const URL& /*url*/) {}
    virtual void requestFinished(HTTPRequest& /*request*/) {}
    virtual void requestFailed(HTTPRequest& /*request*/) {}
    // Byte amounts for aggregate progress; negative amounts withdraw earlier ones.
    virtual void requestDidSendBytes(HTTPRequest& /*request*/, std::int64_t /*bytes*/) {}
    virtual void requestDidReceiveBytes(HTTPRequest& /*request*/, std::int64_t /*bytes*/) {}
    virtual void requestIncrementUploadSizeBy(HTTPRequest& /*request*/, std::int64_t /*bytes*/) {}
    virtual void requestIncrementDownloadSizeBy(HTTPRequest& /*request*/, std::int64_t /*bytes*/) {}
};

}  // namespace tomely
