#pragma once

#include <string>

#include <httplib.h>

// The one line the service logs per request. The facts gathered while a request is served are
// kept per worker thread: the HTTP library serves a request on one worker from routing to the
// log call, and a worker serves one request at a time.
namespace tomely::shelf {

// Called when routing starts: starts the clock and forgets the previous request's account.
void beginRequestLog();
// The signed-in author the request acted for.
void noteRequestAccount(const std::string& email);

// "2024-05-01T12:00:00Z 127.0.0.1 POST /path 200 in=123 out=45 3.1ms author@x reason..."
[[nodiscard]] std::string formatRequestLog(const httplib::Request& request, const httplib::Response& response);

}  // namespace tomely::shelf
