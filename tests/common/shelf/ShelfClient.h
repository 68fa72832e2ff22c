#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace httplib {
class Client;
}

// A small client of the shelf API that sends exactly what the uploader sends: parts of at most
// 1,024,000 bytes, raw deflate with a full flush and no final block, a manifest with escaped
// slashes and no content type, multipart forms with the uploader's boundary. It shares no code
// with the uploader or the service, so it checks both. Used by the service's tests and the load
// bench.
namespace tomely::shelf::client {

inline constexpr std::size_t kPartBytes = 1024000;

struct Part {
    std::string name;  // "/images/a.png.part00000"
    std::string bytes;
    std::string deflated;
    std::string fingerprint;  // sha1 hex of deflated, "_", its length
    std::uint32_t crc = 0;    // CRC-32 of bytes
};

// Where an upload goes: a new book of this title, or a new version of this book.
struct Target {
    std::optional<std::int64_t> bookId;
    std::optional<std::string> bookName;
};

// The uploader's raw deflate: zlib's default level, a full flush, and the zlib header and the
// empty final block and checksum taken off.
[[nodiscard]] std::string deflateData(std::string_view bytes);
// SHA-1 hex of the deflated bytes, "_", their length.
[[nodiscard]] std::string fingerprintOf(std::string_view deflated);
// Cuts each file (path beginning with "/" -> content) into named, deflated, fingerprinted parts.
[[nodiscard]] std::vector<Part> splitBook(const std::map<std::string, std::string>& files);
[[nodiscard]] std::string manifestJson(const std::vector<Part>& parts, const std::string& guid, const Target& target);

// The fields of one part upload in the uploader's order; tests change them to probe the checks.
struct PartForm {
    std::vector<std::pair<std::string, std::string>> fields;
    std::string file;  // the "file" part's content
};
[[nodiscard]] PartForm partForm(const Part& part, std::size_t index, std::size_t total, const Target& target);
[[nodiscard]] std::string multipartBody(const PartForm& form);
inline constexpr const char* kMultipartType = "multipart/form-data; charset=utf-8; boundary=0xKhTmLbOuNdArY";

struct Reply {
    int status = 0;  // 0: no answer (connection failed, dropped or timed out)
    std::string body;
    std::string setCookie;  // the Set-Cookie header, if any
};

struct SyncResult {
    Reply failure;                   // status 0 or >= 300 of the call that failed; status 200 when all went well
    std::vector<std::string> asked;  // the names the manifest answer asked for
};

// One author's client of the service. Keeps the session cookie of the sign-in answer and sends it
// with every call. Like the uploader, it sends each request with a body on a connection of its
// own and keeps only GETs' connections alive. Not thread-safe: one per thread.
class ShelfClient {
public:
    ShelfClient(const std::string& host, int port, bool tls = false);
    ~ShelfClient();
    ShelfClient(const ShelfClient&) = delete;
    ShelfClient& operator=(const ShelfClient&) = delete;

    // Gives up on an answer after this long (the stall tests and the bench need a bound).
    void setReadTimeout(int seconds);

    Reply signIn(const std::string& email, const std::string& password);
    Reply list();
    Reply postManifest(const std::string& guid, const std::string& body);
    Reply postPart(const std::string& guid, const PartForm& form);
    Reply get(const std::string& path);
    Reply post(const std::string& path, const std::string& body, const std::string& contentType);

    // Manifest, then every part it asks for, in the order asked, stopping at the first failure.
    SyncResult sync(const std::string& guid, const std::vector<Part>& parts, const Target& target);

    [[nodiscard]] const std::string& cookie() const { return cookie_; }
    void setCookie(std::string cookie) { cookie_ = std::move(cookie); }

private:
    std::unique_ptr<httplib::Client> http_;
    std::string cookie_;      // "tomely_session=..." or empty
    bool keptAlive_ = false;  // the last answer left its connection open for the next GET
};

// The files of a zip archive (name without leading "/" -> content); nothing when it is not one
// or an entry fails its CRC.
[[nodiscard]] std::optional<std::map<std::string, std::string>> unzipAll(const std::string& zipBytes);

}  // namespace tomely::shelf::client
