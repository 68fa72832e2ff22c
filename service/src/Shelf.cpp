#include "Shelf.h"

#include <set>
#include <stdexcept>
#include <system_error>

#include "BookPacker.h"
#include "Manifest.h"
#include "Names.h"
#include "PartBytes.h"

namespace tomely::shelf {

namespace {

constexpr std::size_t kSessionTokenBytes = 32;

// A book over one of the limits; its reason names the limit.
class LimitExceeded : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string bookLimitReason(std::uint64_t limit) {
    return "the book would be larger than the limit of " + std::to_string(limit) + " bytes for one book";
}

std::string shelfLimitReason(const char* what, std::uint64_t limit) {
    return std::string(what) + " would take your shelf past its limit of " + std::to_string(limit) + " bytes";
}

std::int64_t secondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Names the content of an upload: equal digests mean the same files made of the same parts.
std::string contentDigest(const std::vector<ManifestEntry>& entries) {
    std::string listing;
    for (const auto& entry : entries) {
        listing += entry.name + "\t" + entry.fingerprint + "\n";
    }
    return sha1Hex(listing);
}

bool targetMatches(const BookTarget& target, const PartUpload& upload) {
    if (target.bookId) {
        return upload.bookId == std::to_string(*target.bookId) && !upload.bookName;
    }
    return upload.bookName == target.bookName && !upload.bookId;
}

std::string downloadName(const VersionFile& file) {
    std::string slug;
    for (const char c : file.title) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (keep) {
            slug.push_back(c);
        } else if (!slug.empty() && slug.back() != '-') {
            slug.push_back('-');
        }
    }
    while (!slug.empty() && slug.back() == '-') {
        slug.pop_back();
    }
    return (slug.empty() ? "book" : slug) + "-v" + std::to_string(file.number) + ".iba";
}

std::unique_ptr<ShelfStore> openStore(const std::filesystem::path& dataDirectory) {
    std::filesystem::create_directories(dataDirectory);
    return ShelfStore::open(dataDirectory / "shelf.sqlite3");
}

}  // namespace

Shelf::Shelf(const std::filesystem::path& dataDirectory, ShelfSettings settings)
    : settings_(settings),
      booksDirectory_(dataDirectory / "books"),
      store_(openStore(dataDirectory)),
      parts_(dataDirectory / "parts"),
      decoyHash_(hashPassword("", settings.passwordIterations)) {
    std::filesystem::create_directories(booksDirectory_);
    removeOrphanBooks();
}

void Shelf::removeOrphanBooks() {
    const auto names = store_->versionFileNames();
    const std::set<std::string> kept(names.begin(), names.end());
    for (const auto& entry : std::filesystem::directory_iterator(booksDirectory_)) {
        if (kept.count(entry.path().filename().string()) == 0) {
            std::error_code ignored;
            std::filesystem::remove(entry.path(), ignored);
        }
    }
}

bool Shelf::registerAccount(const std::string& email, const std::string& password) {
    if (!isPlausibleEmail(email) || password.empty()) {
        return false;
    }
    return store_->createAccount(email, hashPassword(password, settings_.passwordIterations));
}

bool Shelf::setPassword(const std::string& email, const std::string& password) {
    return store_->setPassword(email, hashPassword(password, settings_.passwordIterations));
}

std::optional<Account> Shelf::signIn(const std::string& email, const std::string& password) {
    const auto found = store_->accountByEmail(email);
    if (!found) {
        (void)verifyPassword(password, decoyHash_);
        return std::nullopt;
    }
    if (!verifyPassword(password, found->second)) {
        return std::nullopt;
    }
    return found->first;
}

std::string Shelf::openSession(const Account& account) {
    std::string token = randomToken(kSessionTokenBytes);
    const std::int64_t now = secondsNow();
    store_->addSession(sha1Hex(token), account.id, now + settings_.sessionLifetime.count(), now);
    return token;
}

std::optional<Account> Shelf::sessionAccount(const std::string& token) {
    if (token.empty()) {
        return std::nullopt;
    }
    return store_->sessionAccount(sha1Hex(token), secondsNow());
}

void Shelf::closeSession(const std::string& token) {
    store_->removeSession(sha1Hex(token));
}

std::vector<BookRecord> Shelf::books(const Account& account) {
    return store_->books(account.id);
}

ManifestOutcome Shelf::postManifest(const Account& account, const std::string& guid, std::string body) {
    ManifestOutcome outcome;
    if (!isValidGuid(guid)) {
        outcome.status = 400;
        outcome.reason = "book GUID may hold only letters, digits, \"-\" and \"_\"";
        return outcome;
    }
    auto parse = parseManifest(body, guid, settings_.limits.manifestEntries);
    std::string().swap(body);
    if (!parse.manifest) {
        outcome.status = parse.status;
        outcome.reason = std::move(parse.reason);
        return outcome;
    }
    // Each name counts, however many share a part: a book is written out name by name.
    std::uint64_t sent = 0;
    for (const auto& entry : parse.manifest->entries) {
        sent += fingerprintLength(entry.fingerprint);
    }
    if (sent > settings_.limits.bookBytes) {
        outcome.status = 413;
        outcome.reason = bookLimitReason(settings_.limits.bookBytes);
        return outcome;
    }
    const auto& target = parse.manifest->target;
    if (target.bookId && !store_->ownsBook(account.id, *target.bookId)) {
        outcome.status = 404;
        outcome.reason = "there is no book " + std::to_string(*target.bookId) + " on your shelf";
        return outcome;
    }
    const std::int64_t uploadId = store_->beginUpload(account.id, *parse.manifest);
    parse.manifest.reset();
    outcome.missing = store_->missingNames(account.id, uploadId);
    if (outcome.missing.empty() && store_->claimFinish(account.id, uploadId)) {
        outcome.version = finishInto(outcome, uploadId);
    }
    return outcome;
}

PartOutcome Shelf::postPart(const Account& account, const std::string& guid, PartUpload upload) {
    PartOutcome outcome;
    const auto refuse = [&outcome](int status, std::string reason) {
        outcome.status = status;
        outcome.reason = std::move(reason);
        return outcome;
    };
    if (!isValidGuid(guid)) {
        return refuse(400, "book GUID may hold only letters, digits, \"-\" and \"_\"");
    }
    const auto entry = store_->pendingEntry(account.id, guid, upload.name);
    if (!entry) {
        return refuse(409, "no pending manifest of book " + guid + " names \"" + upload.name + "\"");
    }
    if (!targetMatches(entry->target, upload)) {
        return refuse(400, "fields \"bookId\" and \"bookName\" differ from the manifest");
    }
    const std::string fingerprint = fingerprintOf(upload.deflated);
    if (fingerprint != entry->fingerprint) {
        return refuse(400,
                      "fingerprint of the part is " + fingerprint + " but the manifest says " + entry->fingerprint);
    }
    const auto inflated = inflateRaw(upload.deflated, kMaxPartSize);
    if (!inflated) {
        return refuse(400, "the part is not raw deflate data of at most " + std::to_string(kMaxPartSize) + " bytes");
    }
    if (inflated->bytes.size() != upload.size) {
        return refuse(400, "the part inflates to " + std::to_string(inflated->bytes.size()) +
                               " bytes but \"size\" is " + std::to_string(upload.size));
    }
    if (const std::uint32_t crc = crc32Of(inflated->bytes); crc != upload.crc) {
        return refuse(400,
                      "the part's CRC-32 is " + std::to_string(crc) + " but \"crc\" is " + std::to_string(upload.crc));
    }
    if (store_->storageUsed(account.id) + upload.deflated.size() > settings_.limits.authorBytes) {
        return refuse(413, shelfLimitReason("this part", settings_.limits.authorBytes));
    }
    parts_.put(fingerprint, upload.deflated);
    store_->recordPart(account.id, fingerprint, {upload.size, upload.crc, inflated->openEnded});
    if (store_->claimFinish(account.id, entry->uploadId)) {
        outcome.version = finishInto(outcome, entry->uploadId);
    }
    return outcome;
}

std::optional<VersionRecord> Shelf::finishInto(Outcome& outcome, std::int64_t uploadId) {
    try {
        return finish(uploadId);
    } catch (const LimitExceeded& error) {
        outcome.status = 413;
        outcome.reason = error.what();
        return std::nullopt;
    } catch (const std::exception& error) {
        outcome.status = 500;
        outcome.reason = std::string("the book could not be finished: ") + error.what();
        return std::nullopt;
    }
}

VersionRecord Shelf::finish(std::int64_t uploadId) {
    const auto target = booksDirectory_ / (randomToken(12) + ".iba");
    try {
        const FinishPlan plan = store_->finishPlan(uploadId);
        const std::string digest = contentDigest(plan.entries);
        if (auto same = store_->sameAsLatest(uploadId, digest)) {
            store_->finishAsExisting(uploadId, same->id);
            return *same;
        }
        std::uint64_t bookBytes = 0;
        for (const auto& part : plan.parts) {
            bookBytes += part.size;
        }
        if (bookBytes > settings_.limits.bookBytes) {
            throw LimitExceeded(bookLimitReason(settings_.limits.bookBytes));
        }
        if (store_->storageUsed(plan.accountId) + bookBytes > settings_.limits.authorBytes) {
            throw LimitExceeded(shelfLimitReason("this book", settings_.limits.authorBytes));
        }
        const std::int64_t size = packBook(parts_, plan, target);
        return store_->completeUpload(uploadId, target.filename().string(), size, digest);
    } catch (const DamagedPart& damaged) {
        store_->forgetPart(damaged.fingerprint());
        store_->releaseFinish(uploadId);
        throw;
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(target, ignored);
        store_->releaseFinish(uploadId);
        throw;
    }
}

std::optional<Download> Shelf::download(const Account& account, std::int64_t versionId) {
    const auto file = store_->versionFile(account.id, versionId);
    if (!file) {
        return std::nullopt;
    }
    return Download{booksDirectory_ / file->fileName, downloadName(*file)};
}

}  // namespace tomely::shelf
