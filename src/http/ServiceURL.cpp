#include "http/ServiceURL.h"

#include <curl/curl.h>

#include <cstdlib>
#include <memory>

namespace tomely {
namespace {

struct CurlUrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

}  // namespace

std::string serviceBaseURL() {
    // Nothing in the process sets the environment after start-up, so reading it is safe.
    const char* overridden = std::getenv("TOMELY_SERVICE_URL");  // NOLINT(concurrency-mt-unsafe)
    if (overridden != nullptr && *overridden != '\0') {
        return overridden;
    }
    return TOMELY_BUILD_SERVICE_URL;
}

std::string serviceDomainName() {
    const std::unique_ptr<CURLU, CurlUrlDeleter> url(curl_url());
    std::string base = serviceBaseURL();
    char* host = nullptr;
    if (!url || curl_url_set(url.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
        curl_url_get(url.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) {
        // Not a URL curl understands: show it as configured rather than nothing.
        return base;
    }
    std::string name(host);
    curl_free(host);
    return name;
}

}  // namespace tomely
