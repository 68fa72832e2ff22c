#include "http/CurlTransfer.h"

#include <linux/sockios.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cstring>

#include "http/BlockFileStream.h"
#include "http/ConnectionPool.h"
#include "http/HTTPRequestError.h"

namespace tomely {
namespace {

bool isBodylessMethod(std::string_view method) {
    return method == "GET" || method == "HEAD";
}

}  // namespace

std::unique_ptr<CurlTransfer> CurlTransfer::create(const Settings& settings, Listener& listener, Error* error) {
    std::unique_ptr<CurlTransfer> transfer(new CurlTransfer(listener));
    const Error streamError = httpRequestError(kInternalErrorWhileBuildingRequestType, "Unable to create read stream");
    transfer->easy_ = curl_easy_init();
    if (transfer->easy_ == nullptr) {
        report(error, streamError);
        return nullptr;
    }
    CURL* easy = transfer->easy_;
    std::vector<BodyPiece> pieces = settings.bodyPieces;
    if (pieces.empty() && !settings.bodyFilePath.empty()) {
        pieces.push_back({{}, settings.bodyFilePath, settings.bodyLength});
    } else if (pieces.empty() && !settings.bodyBytes.empty()) {
        pieces.push_back({settings.bodyBytes, {}, settings.bodyBytes.size()});
    }
    const bool hasBody = !pieces.empty();
    for (const BodyPiece& piece : pieces) {
        OpenPiece& open = transfer->body_.emplace_back(OpenPiece{piece.bytes, std::nullopt, piece.length});
        if (!piece.filePath.empty()) {
            open.file.emplace(piece.filePath);
            if (!open.file->isOpen()) {
                report(error, streamError);
                return nullptr;
            }
        }
    }

    // Curl adds "Accept: */*" and, for a post, a form "Content-Type" on its own; an empty value
    // stops that. "Expect: 100-continue" would hold every larger body back for a round trip.
    HTTPHeaders headers = settings.headers;
    headers.try_emplace("Accept", "");
    headers.try_emplace("Content-Type", "");
    headers["Expect"] = "";
    for (const auto& [name, value] : headers) {
        const std::string line = value.empty() ? name + ":" : name + ": " + value;
        curl_slist* extended = curl_slist_append(transfer->headerList_, line.c_str());
        if (extended == nullptr) {
            report(error, streamError);
            return nullptr;
        }
        transfer->headerList_ = extended;
    }

    bool ok = curl_easy_setopt(easy, CURLOPT_URL, settings.url.absoluteString().c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_HTTP_TRANSFER_DECODING, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_HTTP_VERSION,
                                settings.useHTTPVersionOne ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headerList_) == CURLE_OK;
    ok =
        ok && curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, settings.validatesSecureCertificate ? 1L : 0L) == CURLE_OK;
    ok =
        ok && curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, settings.validatesSecureCertificate ? 2L : 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, settings.freshConnection ? 1L : 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, settings.forbidReuse ? 1L : 0L) == CURLE_OK;
    if (settings.maxIdleSeconds > 0) {
        ok = ok && curl_easy_setopt(easy, CURLOPT_MAXAGE_CONN, settings.maxIdleSeconds) == CURLE_OK;
    }
    if (settings.maxSendBytesPerSecond > 0) {
        ok = ok && curl_easy_setopt(easy, CURLOPT_MAX_SEND_SPEED_LARGE,
                                    static_cast<curl_off_t>(settings.maxSendBytesPerSecond)) == CURLE_OK;
    }
    ok = ok && curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorBuffer_) == CURLE_OK;
    // Bodies are read in the same 256 KiB blocks in which files are copied into them.
    ok = ok && curl_easy_setopt(easy, CURLOPT_UPLOAD_BUFFERSIZE, static_cast<long>(kFileBlockSize)) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlTransfer::onHeader) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get()) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlTransfer::onBody) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get()) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, &CurlTransfer::onSocketOpened) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_SOCKOPTDATA, transfer.get()) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &CurlTransfer::onConnectionReady) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_PREREQDATA, transfer.get()) == CURLE_OK;
    if (hasBody) {
        ok = ok && curl_easy_setopt(easy, CURLOPT_POST, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(settings.bodyLength)) ==
                       CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_READFUNCTION, &CurlTransfer::onReadBody) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_READDATA, transfer.get()) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &CurlTransfer::onSeekBody) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_SEEKDATA, transfer.get()) == CURLE_OK;
        if (settings.method != "POST") {
            ok = ok && curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, settings.method.c_str()) == CURLE_OK;
        }
    } else if (settings.method == "HEAD") {
        ok = ok && curl_easy_setopt(easy, CURLOPT_NOBODY, 1L) == CURLE_OK;
    } else if (!isBodylessMethod(settings.method)) {
        ok = ok && curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, settings.method.c_str()) == CURLE_OK;
    }
    if (!ok) {
        report(error, streamError);
        return nullptr;
    }
    return transfer;
}

CurlTransfer::~CurlTransfer() {
    if (easy_ != nullptr) {
        curl_easy_cleanup(easy_);
    }
    curl_slist_free_all(headerList_);
}

void CurlTransfer::closeConnectionAfterwards() {
    curl_easy_setopt(easy_, CURLOPT_FORBID_REUSE, 1L);
}

std::uint64_t CurlTransfer::bodyBytesSent() const {
    curl_off_t sent = 0;
    curl_easy_getinfo(easy_, CURLINFO_SIZE_UPLOAD_T, &sent);
    return sent > 0 ? static_cast<std::uint64_t>(sent) : 0;
}

std::optional<std::uint64_t> CurlTransfer::bytesNotYetTaken() const {
    int queued = 0;
    if (!socket_ || ::ioctl(*socket_, SIOCOUTQ, &queued) != 0 || queued < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(queued);
}

long CurlTransfer::osErrno() const {
    long number = 0;
    curl_easy_getinfo(easy_, CURLINFO_OS_ERRNO, &number);
    return number;
}

std::string CurlTransfer::failureDetail(CURLcode result) const {
    const std::size_t length = std::strlen(errorBuffer_);
    return length > 0 ? std::string(errorBuffer_, length) : std::string(curl_easy_strerror(result));
}

std::size_t CurlTransfer::onHeader(char* data, std::size_t size, std::size_t count, void* self) {
    const std::size_t length = size * count;
    auto* transfer = static_cast<CurlTransfer*>(self);
    return transfer->listener_.transferDidReceiveHeaderLine(std::string_view(data, length)) ? length : 0;
}

std::size_t CurlTransfer::onBody(char* data, std::size_t size, std::size_t count, void* self) {
    const std::size_t length = size * count;
    auto* transfer = static_cast<CurlTransfer*>(self);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    return transfer->listener_.transferDidReceiveBodyBytes(std::span(bytes, length)) ? length : 0;
}

std::size_t CurlTransfer::onReadBody(char* buffer, std::size_t size, std::size_t count, void* self) {
    return static_cast<CurlTransfer*>(self)->readBody(std::span(reinterpret_cast<std::uint8_t*>(buffer), size * count));
}

std::size_t CurlTransfer::readBody(std::span<std::uint8_t> room) {
    for (; pieceIndex_ < body_.size(); ++pieceIndex_, pieceOffset_ = 0) {
        OpenPiece& piece = body_[pieceIndex_];
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(room.size(), piece.length - pieceOffset_));
        if (take == 0) {
            continue;
        }
        if (!piece.file) {
            std::memcpy(room.data(), piece.bytes.data() + pieceOffset_, take);
            pieceOffset_ += take;
            return take;
        }
        // A file may be met again after a rewind: it is read from where its piece stands.
        const auto read = piece.file->seek(pieceOffset_) ? piece.file->read(room.first(take)) : std::nullopt;
        if (!read || *read == 0) {
            return CURL_READFUNC_ABORT;
        }
        pieceOffset_ += *read;
        return *read;
    }
    return 0;
}

int CurlTransfer::onSocketOpened(void* self, curl_socket_t socket, curlsocktype /*purpose*/) {
    static_cast<CurlTransfer*>(self)->openedConnection_ = true;
    ConnectionPool::shared().socketOpened(socket);
    return CURL_SOCKOPT_OK;
}

int CurlTransfer::onConnectionReady(void* self, char* /*peerIP*/, char* localIP, int /*peerPort*/, int localPort) {
    auto* transfer = static_cast<CurlTransfer*>(self);
    // Curl checks an idle connection only for a close it can see without reading, so bytes that
    // arrived meanwhile would be taken for the answer to this request.
    if (!transfer->openedConnection_ && !ConnectionPool::shared().isQuiet(localIP, localPort)) {
        transfer->refusedStaleConnection_ = true;
        return CURL_PREREQFUNC_ABORT;
    }
    // Curl names the transfer's socket only once the transfer is done.
    transfer->socket_ = ConnectionPool::shared().socketFrom(localIP, localPort);
    return CURL_PREREQFUNC_OK;
}

int CurlTransfer::onSeekBody(void* self, curl_off_t offset, int origin) {
    // Curl only rewinds to a position from the start, to send the body again.
    if (origin != SEEK_SET || offset < 0) {
        return CURL_SEEKFUNC_CANTSEEK;
    }
    return static_cast<CurlTransfer*>(self)->seekBody(static_cast<std::uint64_t>(offset)) ? CURL_SEEKFUNC_OK
                                                                                          : CURL_SEEKFUNC_FAIL;
}

bool CurlTransfer::seekBody(std::uint64_t offset) {
    for (pieceIndex_ = 0; pieceIndex_ < body_.size() && offset > body_[pieceIndex_].length; ++pieceIndex_) {
        offset -= body_[pieceIndex_].length;
    }
    pieceOffset_ = offset;
    return pieceIndex_ < body_.size() || offset == 0;
}

}  // namespace tomely
