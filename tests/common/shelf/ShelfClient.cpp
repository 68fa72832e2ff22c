#include "ShelfClient.h"

#include <minizip/unzip.h>
#include <openssl/sha.h>
#include <unistd.h>
#include <zlib.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace tomely::shelf::client {

namespace {

constexpr const char* kBoundary = "0xKhTmLbOuNdArY";

std::string sha1Hex(std::string_view bytes) {
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : digest) {
        hex.push_back(kDigits[byte >> 4U]);
        hex.push_back(kDigits[byte & 0x0fU]);
    }
    return hex;
}

std::string indexText(std::size_t index) {
    char text[32];
    std::snprintf(text, sizeof text, ".part%05zu", index);
    return text;
}

httplib::Headers cookieHeader(const std::string& cookie) {
    return cookie.empty() ? httplib::Headers{} : httplib::Headers{{"Cookie", cookie}};
}

Reply replyOf(const httplib::Result& result) {
    return result ? Reply{result->status, result->body, result->get_header_value("Set-Cookie")} : Reply{};
}

}  // namespace

std::string deflateData(std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    z_stream stream{};
    if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK) {
        return {};
    }
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FULL_FLUSH);
    deflate(&stream, Z_FINISH);
    const std::size_t produced = out.size() - stream.avail_out;
    deflateEnd(&stream);
    return out.substr(2, produced - 8);
}

std::string fingerprintOf(std::string_view deflated) {
    return sha1Hex(deflated) + "_" + std::to_string(deflated.size());
}

std::vector<Part> splitBook(const std::map<std::string, std::string>& files) {
    std::vector<Part> parts;
    for (const auto& [path, content] : files) {
        std::size_t index = 0;
        std::size_t offset = 0;
        do {
            Part part;
            part.name = path + indexText(index++);
            part.bytes = content.substr(offset, kPartBytes);
            part.deflated = deflateData(part.bytes);
            part.fingerprint = fingerprintOf(part.deflated);
            part.crc = static_cast<std::uint32_t>(
                crc32(0, reinterpret_cast<const Bytef*>(part.bytes.data()), static_cast<uInt>(part.bytes.size())));
            parts.push_back(std::move(part));
            offset += kPartBytes;
        } while (offset < content.size());
    }
    return parts;
}

std::string manifestJson(const std::vector<Part>& parts, const std::string& guid, const Target& target) {
    nlohmann::json hashes = nlohmann::json::object();
    for (const auto& part : parts) {
        hashes[part.name] = part.fingerprint;
    }
    nlohmann::json manifest = {{"hashes", hashes}, {"bookGUID", guid}, {"format", "iba"}};
    if (target.bookName) {
        manifest["bookName"] = *target.bookName;
    }
    if (target.bookId) {
        manifest["bookId"] = *target.bookId;
    }
    // The uploader's encoder writes every "/" as "\/".
    std::string text = manifest.dump();
    for (std::size_t at = text.find('/'); at != std::string::npos; at = text.find('/', at + 2)) {
        text.insert(at, 1, '\\');
    }
    return text;
}

PartForm partForm(const Part& part, std::size_t index, std::size_t total, const Target& target) {
    PartForm form;
    form.fields = {{"name", part.name},
                   {"isZipped", "1"},
                   {"isBatch", "1"},
                   {"batchTotal", std::to_string(total - 1)},
                   {"batchCurrent", std::to_string(index)},
                   {"size", std::to_string(part.bytes.size())},
                   {"crc", std::to_string(part.crc)}};
    if (target.bookId) {
        form.fields.emplace_back("bookId", std::to_string(*target.bookId));
    }
    if (target.bookName) {
        form.fields.emplace_back("bookName", *target.bookName);
    }
    form.fields.emplace_back("format", "iba");
    form.file = part.deflated;
    return form;
}

std::string multipartBody(const PartForm& form) {
    const std::string separator = std::string("\r\n--") + kBoundary + "\r\n";
    std::string body = std::string("--") + kBoundary + "\r\n";
    for (const auto& [key, value] : form.fields) {
        body += "Content-Disposition: form-data; name=\"" + key + "\"\r\n\r\n" + value + separator;
    }
    body +=
        "Content-Disposition: form-data; name=\"file\"; filename=\"file\"\r\nContent-Type: "
        "application/octet-stream\r\n\r\n";
    body += form.file;
    body += std::string("\r\n--") + kBoundary + "--\r\n";
    return body;
}

ShelfClient::ShelfClient(const std::string& host, int port, bool tls) {
    if (tls) {
        auto client = std::make_unique<httplib::Client>("https://" + host + ":" + std::to_string(port));
        client->enable_server_certificate_verification(false);
        http_ = std::move(client);
    } else {
        http_ = std::make_unique<httplib::Client>(host, port);
    }
    http_->set_keep_alive(true);
    // As libcurl does: without it, a body written after its headers waits for a delayed ACK.
    http_->set_tcp_nodelay(true);
    http_->set_read_timeout(60, 0);
}

ShelfClient::~ShelfClient() = default;

void ShelfClient::setReadTimeout(int seconds) {
    http_->set_read_timeout(seconds, 0);
}

Reply ShelfClient::post(const std::string& path, const std::string& body, const std::string& contentType) {
    const httplib::Headers headers = cookieHeader(cookie_);
    // As the uploader does, a request with a body goes out on a new connection that is closed after
    // the answer: the service may close an idle kept-alive connection just as a request is sent on
    // it, and a POST must not be sent twice.
    http_->stop();
    keptAlive_ = false;
    // The manifest goes out without a content type, as the uploader sends it.
    const Reply reply = contentType.empty()
                            ? replyOf(http_->Post(path, headers, body.data(), body.size(), std::string()))
                            : replyOf(http_->Post(path, headers, body, contentType));
    http_->stop();
    return reply;
}

Reply ShelfClient::get(const std::string& path) {
    const httplib::Headers headers = cookieHeader(cookie_);
    auto result = http_->Get(path, headers);
    if (!result && keptAlive_) {
        // The service closed the kept-alive connection while it was idle; like the uploader, send
        // the request once more on a new one.
        result = http_->Get(path, headers);
    }
    keptAlive_ = result && result->get_header_value("Connection") != "close";
    return replyOf(result);
}

Reply ShelfClient::signIn(const std::string& email, const std::string& password) {
    const auto escape = [](const std::string& text) {
        std::string out;
        for (const unsigned char c : text) {
            if (std::isalnum(c) != 0 || c == '-' || c == '.' || c == '_') {
                out.push_back(static_cast<char>(c));
            } else {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%%%02X", c);
                out += hex;
            }
        }
        return out;
    };
    Reply reply = post("/api/author/shelf/upload/auth/", "email=" + escape(email) + "&password=" + escape(password),
                       "application/x-www-form-urlencoded; charset=utf-8");
    if (reply.status >= 200 && reply.status < 300) {
        cookie_ = reply.setCookie.substr(0, reply.setCookie.find(';'));
    }
    return reply;
}

Reply ShelfClient::list() {
    return get("/api/author/shelf/upload/list/");
}

Reply ShelfClient::postManifest(const std::string& guid, const std::string& body) {
    return post("/api/author/shelf/upload/manifest/" + guid + "/", body, {});
}

Reply ShelfClient::postPart(const std::string& guid, const PartForm& form) {
    return post("/api/author/shelf/upload/" + guid + "/", multipartBody(form), kMultipartType);
}

SyncResult ShelfClient::sync(const std::string& guid, const std::vector<Part>& parts, const Target& target) {
    SyncResult result;
    const Reply manifest = postManifest(guid, manifestJson(parts, guid, target));
    const auto asked = nlohmann::json::parse(manifest.body, nullptr, false);
    if (manifest.status != 200 || !asked.is_array()) {
        result.failure = manifest;
        return result;
    }
    std::map<std::string, const Part*> byName;
    for (const auto& part : parts) {
        byName[part.name] = &part;
    }
    for (const auto& name : asked) {
        result.asked.push_back(name.get<std::string>());
    }
    for (std::size_t i = 0; i < result.asked.size(); ++i) {
        const Part* part = byName.at(result.asked[i]);
        const Reply reply = postPart(guid, partForm(*part, i, result.asked.size(), target));
        if (reply.status < 200 || reply.status >= 300) {
            result.failure = reply;
            return result;
        }
    }
    result.failure.status = 200;
    return result;
}

std::optional<std::map<std::string, std::string>> unzipAll(const std::string& zipBytes) {
    char path[] = "/tmp/tomely-unzip-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        return std::nullopt;
    }
    ::close(fd);
    {
        std::ofstream out(path, std::ios::binary);
        out.write(zipBytes.data(), static_cast<std::streamsize>(zipBytes.size()));
    }
    std::optional<std::map<std::string, std::string>> files;
    if (unzFile zip = unzOpen64(path)) {
        files.emplace();
        for (int status = unzGoToFirstFile(zip); status == UNZ_OK && files; status = unzGoToNextFile(zip)) {
            char name[1024];
            unz_file_info64 info{};
            if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK ||
                unzOpenCurrentFile(zip) != UNZ_OK) {
                files.reset();
                break;
            }
            std::string content(info.uncompressed_size, '\0');
            const int read =
                content.empty() ? 0 : unzReadCurrentFile(zip, content.data(), static_cast<unsigned>(content.size()));
            char extra;
            const int after = unzReadCurrentFile(zip, &extra, 1);
            // Closing checks the CRC once the whole entry was read.
            if (read != static_cast<int>(content.size()) || after != 0 || unzCloseCurrentFile(zip) != UNZ_OK) {
                files.reset();
                break;
            }
            (*files)[name] = std::move(content);
        }
        unzClose(zip);
    }
    std::remove(path);
    return files;
}

}  // namespace tomely::shelf::client
