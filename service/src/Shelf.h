#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PartStore.h"
#include "PartUpload.h"
#include "Passwords.h"
#include "ShelfStore.h"

namespace tomely::shelf {

// What one author may send and keep; a book of 4 GB fits, with room for its next version.
struct ShelfLimits {
    std::size_t manifestEntries = 100000;
    // The files of one book, before compression: what the service writes for a few bytes sent.
    std::uint64_t bookBytes = 6ULL << 30U;
    // The parts an author holds and the books made of them.
    std::uint64_t authorBytes = 32ULL << 30U;
};

struct ShelfSettings {
    int passwordIterations = kDefaultPasswordIterations;
    ShelfLimits limits;
    std::chrono::seconds sessionLifetime = std::chrono::hours(24 * 30);
};

// The HTTP status a call ends with and, for a refusal, why.
struct Outcome {
    int status = 200;
    std::string reason;
};

struct ManifestOutcome : Outcome {
    std::vector<std::string> missing;      // the part names to send
    std::optional<VersionRecord> version;  // set when nothing was missing and the book is done
};

struct PartOutcome : Outcome {
    std::optional<VersionRecord> version;  // set when this part completed the book
};

struct Download {
    std::filesystem::path path;
    std::string fileName;  // what the browser saves it as
};

// The shelf behind the HTTP calls: accounts and sessions, the manifest diff, checking and
// storing parts, and turning a complete upload into a book version. Owns the data directory
// ("shelf.sqlite3", "parts/", "books/"). Thread-safe; calls may run on any number of threads.
class Shelf {
public:
    // Opens or creates the data directory; throws std::runtime_error when it cannot.
    Shelf(const std::filesystem::path& dataDirectory, ShelfSettings settings);

    // False when the e-mail address is taken or not plausible, or the password is empty.
    [[nodiscard]] bool registerAccount(const std::string& email, const std::string& password);
    // Creates the account or gives it this password; true when it was created.
    bool setPassword(const std::string& email, const std::string& password);
    [[nodiscard]] std::optional<Account> signIn(const std::string& email, const std::string& password);
    // A new random session token for the account; only its hash is stored.
    [[nodiscard]] std::string openSession(const Account& account);
    [[nodiscard]] std::optional<Account> sessionAccount(const std::string& token);
    void closeSession(const std::string& token);

    [[nodiscard]] std::vector<BookRecord> books(const Account& account);
    // Takes the body, to free it once it is read: a manifest may be large.
    [[nodiscard]] ManifestOutcome postManifest(const Account& account, const std::string& guid, std::string body);
    [[nodiscard]] PartOutcome postPart(const Account& account, const std::string& guid, PartUpload upload);
    [[nodiscard]] std::optional<Download> download(const Account& account, std::int64_t versionId);

private:
    // Packs a complete upload into a version; on failure the upload is pending again, a damaged
    // part is forgotten so the next manifest asks for it, and the error is thrown on: a
    // LimitExceeded when the book is over a limit.
    VersionRecord finish(std::int64_t uploadId);
    // finish(), with a failure turned into a 500 outcome, or a 413 one for a limit.
    std::optional<VersionRecord> finishInto(Outcome& outcome, std::int64_t uploadId);
    void removeOrphanBooks();

    ShelfSettings settings_;
    std::filesystem::path booksDirectory_;
    std::unique_ptr<ShelfStore> store_;
    PartStore parts_;
    // Checked against when an e-mail address is unknown, so that a wrong address takes as long
    // to refuse as a wrong password.
    std::string decoyHash_;
};

}  // namespace tomely::shelf
