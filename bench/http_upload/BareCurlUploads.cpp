#include "BareCurlUploads.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdio>

namespace tomely::bench {
namespace {

std::size_t discard(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

}  // namespace

std::vector<std::uint8_t> partBytes() {
    std::vector<std::uint8_t> bytes(kPartSize);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 2654435761U) >> 13);
    }
    return bytes;
}

double bareCurlSeconds(const std::string& url, const std::vector<std::uint8_t>& part) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kPosts; ++i) {
        CURL* easy = curl_easy_init();
        curl_mime* mime = curl_mime_init(easy);
        const std::string name = "/OEBPS/book.xhtml.part" + std::to_string(i);
        const std::string size = std::to_string(kPartSize);
        curl_mimepart* field = curl_mime_addpart(mime);
        curl_mime_name(field, "name");
        curl_mime_data(field, name.c_str(), CURL_ZERO_TERMINATED);
        field = curl_mime_addpart(mime);
        curl_mime_name(field, "size");
        curl_mime_data(field, size.c_str(), CURL_ZERO_TERMINATED);
        field = curl_mime_addpart(mime);
        curl_mime_name(field, "upload");
        curl_mime_filename(field, "file");
        curl_mime_type(field, "application/octet-stream");
        curl_mime_data(field, reinterpret_cast<const char*>(part.data()), part.size());
        curl_slist* headers = curl_slist_append(nullptr, "Expect:");
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_MIMEPOST, mime);
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discard);
        long status = 0;
        const CURLcode result = curl_easy_perform(easy);
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        curl_slist_free_all(headers);
        curl_mime_free(mime);
        curl_easy_cleanup(easy);
        if (result != CURLE_OK || status != 200) {
            std::fprintf(stderr, "bare curl post %d failed: %s\n", i, curl_easy_strerror(result));
            return -1;
        }
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace tomely::bench
