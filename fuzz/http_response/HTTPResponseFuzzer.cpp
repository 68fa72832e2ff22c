// Arbitrary bytes as a server's answer: every parser of the response side must end in a defined
// result, whatever arrives, and a head it accepts must be one the transport frames the same way.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>

#include "http/ConnectionPool.h"
#include "http/DataDecompressor.h"
#include "http/HTTPCookieStorage.h"
#include "http/ResponseBody.h"
#include "http/ResponseHead.h"
#include "platform/TextEncoding.h"

using namespace tomely;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::span<const std::uint8_t> bytes(data, size);

    // The head, line by line as the transport hands it over, and as one block.
    ResponseHeadParser parser;
    std::string_view rest = input;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end == std::string_view::npos ? rest.size() : end + 1);
        rest.remove_prefix(line.size());
        if (!parser.addLine(line)) {
            break;
        }
    }
    static const URL kURL("https://www.books.example/api/author/shelf/upload/auth/");
    if (const auto head = parseResponseHead(input)) {
        const std::string encoding = responseEncodingFor(head->headers, kISOLatin1Encoding);
        (void)decodeText(bytes, encoding);
        if (const auto length = head->headers.find("Content-Length");
            length != head->headers.end() && !parseContentLength(length->second)) {
            std::fprintf(stderr, "http_response fuzzer: an accepted head has no single decimal length\n");
            std::abort();
        }
        bool strayCarriageReturn = head->statusLine.find('\r') != std::string::npos;
        for (const auto& [name, value] : head->headers) {
            strayCarriageReturn =
                strayCarriageReturn || name.find('\r') != std::string::npos || value.find('\r') != std::string::npos;
        }
        if (strayCarriageReturn) {
            std::fprintf(stderr, "http_response fuzzer: an accepted head holds a carriage return\n");
            std::abort();
        }
        if (const auto challenge = head->headers.find("WWW-Authenticate"); challenge != head->headers.end()) {
            (void)isUsableAuthenticationChallenge(challenge->second);
        }
        (void)keepAliveFor(*head);
        if (const auto location = head->headers.find("Location"); location != head->headers.end()) {
            (void)kURL.resolve(location->second);
        }
        HTTPCookieStorage storage;
        storage.setCookies(HTTPCookieStorage::cookiesWithResponseHeaderFields(head->setCookieFields, kURL), kURL);
        (void)storage.cookiesForURL(kURL);
    }

    // Each piece on its own.
    (void)parseStatusLine(input);
    (void)decodeText(bytes, kUTF8Encoding);
    (void)charsetFromContentType(input);
    (void)ianaCharsetName(input);
    (void)parseContentLength(input);
    (void)parseCookieDate(input);
    (void)parseSetCookieField(input, kURL, std::chrono::system_clock::time_point());

    // The body kept within a small limit, as it is and as gzip, in uneven blocks: never past the
    // limit, and whatever is kept whole is the body, or what inflating it in one go gives.
    constexpr std::uint64_t kLimit = 4096;
    for (const bool compressed : {false, true}) {
        ResponseBody body;
        body.reset(compressed, kLimit, size);
        bool accepted = true;
        for (std::size_t offset = 0; accepted && offset < size; offset += 37) {
            accepted = body.append(bytes.subspan(offset, std::min<std::size_t>(37, size - offset)));
        }
        accepted = accepted && body.finish();
        if (body.raw().size() > kLimit || body.data().size() > kLimit) {
            std::fprintf(stderr, "http_response fuzzer: a body was kept past its limit\n");
            std::abort();
        }
        const auto whole = compressed
                               ? DataDecompressor::uncompressData(bytes)
                               : std::optional<std::vector<std::uint8_t>>(std::in_place, bytes.begin(), bytes.end());
        if (accepted && size > 0 && (!whole || *whole != body.data())) {
            std::fprintf(stderr, "http_response fuzzer: a body kept whole differs from the body\n");
            std::abort();
        }
    }

    // The body as gzip, whole and in uneven blocks.
    (void)DataDecompressor::uncompressData(bytes);
    if (auto decompressor = DataDecompressor::decompressor()) {
        for (std::size_t offset = 0; offset < bytes.size(); offset += 37) {
            if (!decompressor->uncompressBytes(bytes.subspan(offset, std::min<std::size_t>(37, size - offset)),
                                               nullptr)) {
                break;
            }
        }
    }
    return 0;
}
