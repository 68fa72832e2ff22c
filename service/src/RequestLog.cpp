#include "RequestLog.h"

#include <chrono>
#include <cstdio>
#include <optional>

#include "HttpBodies.h"
#include "ShelfStore.h"

namespace tomely::shelf {

namespace {

struct RequestFacts {
    std::optional<std::chrono::steady_clock::time_point> start;
    std::string account;
};

thread_local RequestFacts facts;

constexpr std::size_t kMaxReasonInLog = 300;

}  // namespace

void beginRequestLog() {
    facts = {std::chrono::steady_clock::now(), {}};
}

void noteRequestAccount(const std::string& email) {
    facts.account = email;
}

std::string formatRequestLog(const httplib::Request& request, const httplib::Response& response) {
    std::string duration = "-";
    if (facts.start) {
        const auto elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - *facts.start);
        char text[32];
        std::snprintf(text, sizeof text, "%.1fms", elapsed.count());
        duration = text;
    }
    std::string line = isoNow() + " " + request.remote_addr + " " + request.method + " " + request.path + " " +
                       std::to_string(response.status) + " in=" + std::to_string(announcedLength(request)) +
                       " out=" + std::to_string(response.body.size()) + " " + duration + " " +
                       (facts.account.empty() ? "-" : facts.account);
    if (response.status >= 400 && !response.body.empty() &&
        response.get_header_value("Content-Type").rfind("text/plain", 0) == 0) {
        std::string reason = response.body.substr(0, kMaxReasonInLog);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) {
            reason.pop_back();
        }
        for (char& c : reason) {
            if (c == '\n' || c == '\r') {
                c = ' ';
            }
        }
        line += " " + reason;
    }
    facts = {};
    return line;
}

}  // namespace tomely::shelf
