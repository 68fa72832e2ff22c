#include "http/URL.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>

namespace tomely {
namespace {

struct CurlUrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;

std::optional<std::string> part(CURLU* url, CURLUPart which, unsigned int flags = 0) {
    char* value = nullptr;
    if (curl_url_get(url, which, &value, flags) != CURLUE_OK || value == nullptr) {
        return std::nullopt;
    }
    std::string text(value);
    curl_free(value);
    return text;
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

URL::URL(std::string_view text) : absolute_(text) {
    const CurlUrl url(curl_url());
    const std::string copy(text);
    // Only absolute URLs with a scheme curl knows; no guessing.
    if (!url || copy.find('\0') != std::string::npos ||
        curl_url_set(url.get(), CURLUPART_URL, copy.c_str(), 0) != CURLUE_OK) {
        return;
    }
    auto absolute = part(url.get(), CURLUPART_URL);
    auto scheme = part(url.get(), CURLUPART_SCHEME);
    auto host = part(url.get(), CURLUPART_HOST);
    auto port = part(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    auto path = part(url.get(), CURLUPART_PATH);
    if (!absolute || !scheme || !host || host->empty() || !port || !path) {
        return;
    }
    valid_ = true;
    absolute_ = std::move(*absolute);
    scheme_ = lowered(std::move(*scheme));
    host_ = lowered(std::move(*host));
    port_ = std::atoi(port->c_str());
    path_ = path->empty() ? "/" : std::move(*path);
}

URL URL::resolve(std::string_view reference) const {
    if (!valid_) {
        return URL(reference);
    }
    const CurlUrl url(curl_url());
    const std::string copy(reference);
    if (!url || copy.find('\0') != std::string::npos ||
        curl_url_set(url.get(), CURLUPART_URL, absolute_.c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_URL, copy.c_str(), 0) != CURLUE_OK) {
        URL invalid;
        invalid.absolute_ = copy;
        return invalid;
    }
    const auto absolute = part(url.get(), CURLUPART_URL);
    return absolute ? URL(*absolute) : URL();
}

}  // namespace tomely
