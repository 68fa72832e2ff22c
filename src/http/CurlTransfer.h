#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "http/HTTPHeaders.h"
#include "http/URL.h"
#include "platform/Error.h"
#include "platform/FileIO.h"

namespace tomely {

// One HTTP exchange on a curl easy handle. Curl only moves bytes here: sockets, TLS, chunked
// transfer coding and the proxy environment variables. It follows no redirect, decodes no content,
// keeps no cookies and adds no "Expect", "Accept" or "Content-Type" of its own; every header comes
// from the request. Lives on the network thread.
class CurlTransfer {
public:
    // Receives what the transfer reads, on the network thread, from inside curl_multi_perform.
    class Listener {
    public:
        virtual ~Listener() = default;
        // One raw header line, its line end included. False aborts the transfer.
        virtual bool transferDidReceiveHeaderLine(std::string_view line) = 0;
        // A piece of the body, transfer coding removed. False aborts the transfer.
        virtual bool transferDidReceiveBodyBytes(std::span<const std::uint8_t> bytes) = 0;
    };

    // A stretch of a body: `bytes` (which must outlive the transfer), or, when `filePath` is set,
    // the first `length` bytes of that file, read as they are sent.
    struct BodyPiece {
        std::span<const std::uint8_t> bytes;
        std::string filePath;
        std::uint64_t length = 0;
    };

    struct Settings {
        URL url;
        std::string method;
        HTTPHeaders headers;
        // The body to send: `bodyPieces` one after another when there are any, else `bodyFilePath`
        // when set, else `bodyBytes` (which must outlive the transfer). None: no body. A file that
        // ends before its part of the body does aborts the transfer: no body goes out short.
        std::vector<BodyPiece> bodyPieces;
        std::string bodyFilePath;
        std::span<const std::uint8_t> bodyBytes;
        std::uint64_t bodyLength = 0;
        bool useHTTPVersionOne = false;
        bool validatesSecureCertificate = true;
        // A new connection, not one left open by an earlier exchange.
        bool freshConnection = false;
        // Close the connection after this exchange instead of keeping it for another.
        bool forbidReuse = false;
        // A connection idle for longer than this is not used again (0: curl's own limit).
        long maxIdleSeconds = 0;
        // The body goes out at most this fast, in bytes per second (0: as fast as it can).
        std::uint64_t maxSendBytesPerSecond = 0;
    };

    // Nothing, with `error` filled with the failure to report, when the handle cannot be made or
    // the body file cannot be opened.
    [[nodiscard]] static std::unique_ptr<CurlTransfer> create(const Settings& settings, Listener& listener,
                                                              Error* error = nullptr);
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    [[nodiscard]] CURL* easy() const { return easy_; }
    // The connection is closed once this exchange has ended. Also from inside a callback: curl
    // reads the setting only when the transfer is done.
    void closeConnectionAfterwards();
    // Bytes of the request body handed to the connection so far.
    [[nodiscard]] std::uint64_t bodyBytesSent() const;
    // Bytes handed to the connection that its peer has not yet acknowledged (the socket's send
    // queue); nothing while no connection is open. A body can sit whole in that queue while a slow
    // or shared line carries it off.
    [[nodiscard]] std::optional<std::uint64_t> bytesNotYetTaken() const;
    // After the transfer ended: the operating system's error number behind a failure (0: none).
    [[nodiscard]] long osErrno() const;
    // After the transfer ended: curl's detailed message for the failure, else its generic one.
    [[nodiscard]] std::string failureDetail(CURLcode result) const;
    // The kept-alive connection curl offered had unread bytes or had been closed by the server, so
    // the exchange was stopped (CURLE_ABORTED_BY_CALLBACK) before anything was sent; curl closes
    // such a connection. A new connection is never refused.
    [[nodiscard]] bool refusedStaleConnection() const { return refusedStaleConnection_; }

private:
    CurlTransfer(Listener& listener) : listener_(listener) {}
    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onReadBody(char* buffer, std::size_t size, std::size_t count, void* self);
    static int onSeekBody(void* self, curl_off_t offset, int origin);
    static int onSocketOpened(void* self, curl_socket_t socket, curlsocktype purpose);
    static int onConnectionReady(void* self, char* peerIP, char* localIP, int peerPort, int localPort);
    [[nodiscard]] std::size_t readBody(std::span<std::uint8_t> room);
    [[nodiscard]] bool seekBody(std::uint64_t offset);

    // A piece of the body with its file, if it has one, open.
    struct OpenPiece {
        std::span<const std::uint8_t> bytes;
        std::optional<InputFile> file;
        std::uint64_t length = 0;
    };

    Listener& listener_;
    CURL* easy_ = nullptr;
    curl_slist* headerList_ = nullptr;
    std::vector<OpenPiece> body_;
    // Where the next byte of the body comes from.
    std::size_t pieceIndex_ = 0;
    std::uint64_t pieceOffset_ = 0;
    bool openedConnection_ = false;
    bool refusedStaleConnection_ = false;
    // The connection's socket, once it is ready for the request.
    std::optional<int> socket_;
    char errorBuffer_[CURL_ERROR_SIZE] = {};
};

}  // namespace tomely
