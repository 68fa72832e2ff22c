#include "Manifest.h"

#include <nlohmann/json.hpp>

#include <algorithm>

#include "Names.h"
#include "PartBytes.h"

namespace tomely::shelf {

namespace {

constexpr std::size_t kMaxTitleBytes = 256;
// "/a.part00000":"<40 hex digits>_1", with its comma.
constexpr std::size_t kShortestEntryBytes = 60;

ManifestParse refuse(std::string reason) {
    return {std::nullopt, std::move(reason)};
}

std::optional<std::int64_t> parseBookId(const nlohmann::json& value) {
    if (value.is_number_unsigned() && value.get<std::uint64_t>() > 0 &&
        value.get<std::uint64_t>() <= static_cast<std::uint64_t>(INT64_MAX)) {
        return static_cast<std::int64_t>(value.get<std::uint64_t>());
    }
    if (value.is_string()) {
        const auto digits = parseDecimal(value.get_ref<const std::string&>());
        if (digits && *digits > 0 && *digits <= static_cast<std::uint64_t>(INT64_MAX)) {
            return static_cast<std::int64_t>(*digits);
        }
    }
    return std::nullopt;
}

bool isBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
}

// Each file's parts must be numbered 0 to n-1 so the file can be rebuilt without holes.
std::string checkIndices(const std::vector<ManifestEntry>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const bool firstOfFile = i == 0 || entries[i - 1].file() != entries[i].file();
        const std::uint64_t expected = firstOfFile ? 0 : entries[i - 1].index + 1;
        if (entries[i].index != expected) {
            return "the parts of \"" + std::string(entries[i].file().substr(0, 200)) +
                   "\" are not numbered 0, 1, 2, ... (found " + std::to_string(entries[i].index) + " where " +
                   std::to_string(expected) + " belongs)";
        }
    }
    return {};
}

// Reads a manifest without building a document of it: the members besides "hashes" are kept
// (a nested value only as an empty container of its kind, which is all the checks look at), and
// the hashes become entries as they arrive, so memory stays near the size of what is kept. Stops
// at the entry beyond the limit.
class ManifestReader : public nlohmann::json_sax<nlohmann::json> {
public:
    explicit ManifestReader(std::size_t maxEntries) : maxEntries_(maxEntries) {}

    nlohmann::json fields = nlohmann::json::object();
    bool isObject = false;
    bool hashesIsObject = false;
    std::vector<ManifestEntry> entries;
    std::string entryReason;  // why the first unusable entry is refused
    bool tooManyEntries = false;

    bool null() override { return value(nullptr); }
    bool boolean(bool value) override { return this->value(value); }
    bool number_integer(number_integer_t value) override { return this->value(value); }
    bool number_unsigned(number_unsigned_t value) override { return this->value(value); }
    bool number_float(number_float_t value, const string_t&) override { return this->value(value); }
    bool string(string_t& value) override { return this->value(std::move(value)); }
    bool binary(binary_t&) override { return value(nullptr); }
    bool start_object(std::size_t) override { return open(nlohmann::json::object()); }
    bool start_array(std::size_t) override { return open(nlohmann::json::array()); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }
    bool key(string_t& key) override {
        if (depth_ == 1) {
            member_ = std::move(key);
        } else if (depth_ == 2 && inHashes_) {
            if (++hashCount_ > maxEntries_) {
                tooManyEntries = true;
                return false;
            }
            hashKey_ = std::move(key);
        }
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    bool value(nlohmann::json value) {
        if (depth_ == 1) {
            keep(std::move(value));
        } else if (depth_ == 2 && inHashes_) {
            addEntry(value);
        }
        return true;
    }
    bool open(nlohmann::json container) {
        if (depth_ == 0) {
            isObject = container.is_object();
        } else if (depth_ == 1) {
            inHashes_ = member_ == kHashes && container.is_object();
            if (inHashes_) {
                // A repeated member counts once, as its last value.
                entries.clear();
                entryReason.clear();
                hashCount_ = 0;
            }
            keep(std::move(container));
        } else if (depth_ == 2 && inHashes_) {
            addEntry(container);
        }
        ++depth_;
        return true;
    }
    bool close() {
        if (--depth_ == 1) {
            inHashes_ = false;
        }
        return true;
    }
    void keep(nlohmann::json value) {
        if (member_ == kHashes) {
            hashesIsObject = value.is_object();
            return;
        }
        fields[member_] = std::move(value);
    }
    void addEntry(const nlohmann::json& value) {
        if (!entryReason.empty()) {
            return;
        }
        auto check = checkPartName(hashKey_);
        if (!check.part) {
            entryReason = std::move(check.reason);
        } else if (!value.is_string() || !isFingerprint(value.get_ref<const std::string&>())) {
            entryReason = "fingerprint of \"" + hashKey_.substr(0, 200) + "\" is not \"<40 hex digits>_<length>\"";
        } else {
            entries.push_back(
                {std::move(hashKey_), value.get<std::string>(), check.part->index, check.part->file.size()});
        }
    }

    static constexpr std::string_view kHashes = "hashes";
    const std::size_t maxEntries_;
    int depth_ = 0;
    std::string member_;
    bool inHashes_ = false;
    std::size_t hashCount_ = 0;
    std::string hashKey_;
};

// Names given twice would make two entries of one name; JSON readers keep one of them, so the
// manifest is ambiguous.
std::string checkRepeats(const std::vector<ManifestEntry>& entries) {
    for (std::size_t i = 1; i < entries.size(); ++i) {
        if (entries[i].name == entries[i - 1].name) {
            return "name \"" + entries[i].name.substr(0, 200) + "\" is listed more than once";
        }
    }
    return {};
}

}  // namespace

ManifestParse parseManifest(std::string_view body, std::string_view pathGuid, std::size_t maxEntries) {
    if (body.size() > kMaxManifestBytes) {
        return refuse("manifest is larger than " + std::to_string(kMaxManifestBytes) + " bytes");
    }
    // The shortest entry takes about 60 bytes of text; reserving for that many spares the entries
    // the copies of a growing vector.
    ManifestReader reader(maxEntries);
    reader.entries.reserve(std::min(maxEntries, body.size() / kShortestEntryBytes));
    const bool parsed = nlohmann::json::sax_parse(body.begin(), body.end(), &reader);
    if (reader.tooManyEntries) {
        return {std::nullopt, "manifest lists more than " + std::to_string(maxEntries) + " parts", 413};
    }
    if (!parsed || !reader.isObject) {
        return refuse("manifest is not a JSON object");
    }
    const auto& json = reader.fields;
    Manifest manifest;
    const auto guid = json.find("bookGUID");
    if (guid == json.end() || !guid->is_string() || guid->get_ref<const std::string&>() != pathGuid) {
        return refuse("manifest \"bookGUID\" is missing or differs from the GUID in the path");
    }
    manifest.bookGuid = std::string(pathGuid);
    const auto format = json.find("format");
    if (format == json.end() || !format->is_string() || format->get_ref<const std::string&>() != "iba") {
        return refuse("manifest \"format\" must be \"iba\"");
    }
    const auto name = json.find("bookName");
    const auto id = json.find("bookId");
    if ((name == json.end()) == (id == json.end())) {
        return refuse("manifest must name either \"bookName\" (a new book) or \"bookId\" (a new version)");
    }
    if (name != json.end()) {
        if (!name->is_string() || isBlank(name->get_ref<const std::string&>()) ||
            name->get_ref<const std::string&>().size() > kMaxTitleBytes) {
            return refuse("manifest \"bookName\" must be a non-blank string of at most " +
                          std::to_string(kMaxTitleBytes) + " bytes");
        }
        manifest.target.bookName = name->get<std::string>();
    } else {
        manifest.target.bookId = parseBookId(*id);
        if (!manifest.target.bookId) {
            return refuse("manifest \"bookId\" is not a book id");
        }
    }
    if (!reader.entryReason.empty()) {
        return refuse(std::move(reader.entryReason));
    }
    if (!reader.hashesIsObject || reader.entries.empty()) {
        return refuse("manifest \"hashes\" must be a non-empty object of part names and fingerprints");
    }
    manifest.entries = std::move(reader.entries);
    std::sort(manifest.entries.begin(), manifest.entries.end(), [](const ManifestEntry& a, const ManifestEntry& b) {
        return a.file() != b.file() ? a.file() < b.file() : a.index < b.index;
    });
    if (auto reason = checkRepeats(manifest.entries); !reason.empty()) {
        return refuse(std::move(reason));
    }
    if (auto reason = checkIndices(manifest.entries); !reason.empty()) {
        return refuse(std::move(reason));
    }
    return {std::move(manifest), {}};
}

}  // namespace tomely::shelf
