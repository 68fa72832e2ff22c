#pragma once

#include <cstdint>

namespace tomely {

class HTTPRequest;

// Something that shows progress, such as a progress bar: a request or a network queue hands it
// the fraction done (0 to 1) and, for a request's own receiver, the byte amounts behind it. Every
// method runs on the main thread and does nothing unless overridden. Requests and queues hold
// their receivers weakly: a receiver that is gone is told nothing.
class ProgressReceiver {
public:
    virtual ~ProgressReceiver() = default;
    virtual void setMaxValue(double /*maxValue*/) {}
    virtual void setDoubleValue(double /*value*/) {}
    // Body bytes sent since the last report; negative when a repeated exchange withdraws them.
    virtual void requestDidSendBytes(HTTPRequest& /*request*/, std::int64_t /*bytes*/) {}
    // The request's size grew (or, negative, shrank) by `bytes`.
    virtual void requestIncrementUploadSizeBy(HTTPRequest& /*request*/, std::int64_t /*bytes*/) {}
};

}  // namespace tomely
