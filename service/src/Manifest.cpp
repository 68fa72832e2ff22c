#include "Manifest.h"

#include <nlohmann/json.hpp>

#include <algorithm>

#include "Names.h"
#include "PartBytes.h"

namespace tomely::shelf {

namespace {

constexpr std::size_t kMaxTitleBytes = 256;

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
        const bool firstOfFile = i == 0 || entries[i - 1].file != entries[i].file;
        const std::uint64_t expected = firstOfFile ? 0 : entries[i - 1].index + 1;
        if (entries[i].index != expected) {
            return "the parts of \"" + entries[i].file.substr(0, 200) + "\" are not numbered 0, 1, 2, ... (found " +
                   std::to_string(entries[i].index) + " where " + std::to_string(expected) + " belongs)";
        }
    }
    return {};
}

}  // namespace

ManifestParse parseManifest(std::string_view body, std::string_view pathGuid) {
    if (body.size() > kMaxManifestBytes) {
        return refuse("manifest is larger than " + std::to_string(kMaxManifestBytes) + " bytes");
    }
    const auto json = nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return refuse("manifest is not a JSON object");
    }
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
    const auto hashes = json.find("hashes");
    if (hashes == json.end() || !hashes->is_object() || hashes->empty()) {
        return refuse("manifest \"hashes\" must be a non-empty object of part names and fingerprints");
    }
    manifest.entries.reserve(hashes->size());
    for (const auto& [key, value] : hashes->items()) {
        auto check = checkPartName(key);
        if (!check.part) {
            return refuse(std::move(check.reason));
        }
        if (!value.is_string() || !isFingerprint(value.get_ref<const std::string&>())) {
            return refuse("fingerprint of \"" + key.substr(0, 200) + "\" is not \"<40 hex digits>_<length>\"");
        }
        manifest.entries.push_back({key, value.get<std::string>(), std::move(check.part->file), check.part->index});
    }
    std::sort(manifest.entries.begin(), manifest.entries.end(), [](const ManifestEntry& a, const ManifestEntry& b) {
        return a.file != b.file ? a.file < b.file : a.index < b.index;
    });
    if (auto reason = checkIndices(manifest.entries); !reason.empty()) {
        return refuse(std::move(reason));
    }
    return {std::move(manifest), {}};
}

}  // namespace tomely::shelf
