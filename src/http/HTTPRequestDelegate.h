#pragma once

#include "http/HTTPHeaders.h"

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
    virtual void requestFinished(HTTPRequest& /*request*/) {}
    virtual void requestFailed(HTTPRequest& /*request*/) {}
};

}  // namespace tomely
