#include "upload/SyncManifest.h"

#include <set>

#include "json/JSONSerializer.h"
#include "platform/SystemLog.h"

namespace tomely {
namespace {

constexpr std::string_view kFormat = "iba";

// The text of a "book_id" value as the list of books gave it.
std::string idText(const JSONValue& bookId) {
    if (const std::string* text = bookId.asString()) {
        return *text;
    }
    if (const bool* flag = bookId.getIf<bool>()) {
        return *flag ? "1" : "0";
    }
    return JSONSerializer::serializer().serializeNumber(bookId).value_or(bookId.description());
}

}  // namespace

std::string manifestKey(std::string_view listedPath, std::string_view workingDirectory) {
    // The listing joins the directory text and the relative path with one more "/", which is
    // what the key begins with.
    if (listedPath.starts_with(workingDirectory)) {
        listedPath.remove_prefix(workingDirectory.size());
    }
    return std::string(listedPath);
}

std::string manifestText(const KeyedFingerprints& fingerprints, std::string_view bookGuid, const UploadTarget& target) {
    JSONDictionary hashes;
    for (const auto& [key, fingerprint] : fingerprints) {
        hashes.emplace(key, fingerprint);
    }
    JSONDictionary manifest{{"hashes", std::move(hashes)}, {"bookGUID", bookGuid}, {"format", kFormat}};
    if (target.bookName) {
        manifest.emplace("bookName", *target.bookName);
    }
    if (target.bookId) {
        manifest.emplace("bookId", *target.bookId);
    }
    // Strings, numbers and dictionaries always have a JSON form; only a custom object as book id
    // could fail, and then the member is what goes missing.
    return JSONSerializer::serializer().serializeObject(manifest).value_or("{}");
}

std::optional<std::vector<std::string>> namesToSend(const std::optional<JSONValue>& answer,
                                                    const KeyedFingerprints& offered, Error* error) {
    const auto refuse = [error](SyncManifestErrorCode code, std::string description) {
        report(error, Error::make(std::string(kSyncManifestErrorDomain), code, std::move(description)));
        return std::nullopt;
    };
    const JSONArray* asked = answer ? answer->asArray() : nullptr;
    if (asked == nullptr) {
        return refuse(kManifestAnswerNotNamesCode, "the service's answer is not a list of part names");
    }
    std::vector<std::string> names;
    std::set<std::string_view> taken;
    for (const JSONValue& entry : *asked) {
        const std::string* name = entry.asString();
        if (name == nullptr) {
            return refuse(kManifestAnswerNotNamesCode, "the service's answer is not a list of part names");
        }
        if (!offered.contains(*name)) {
            return refuse(kManifestAnswerNotOfferedCode,
                          "the service's answer names " + entry.description() + ", which the manifest did not offer");
        }
        if (!taken.insert(*name).second) {
            SystemLog::write("Not uploading " + entry.description() + " twice");
        } else {
            names.push_back(*name);
        }
    }
    return names;
}

ACMultiFileUploader::Parameters uploadParameters(const UploadTarget& target) {
    ACMultiFileUploader::Parameters parameters{{"format", std::string(kFormat)}};
    if (target.bookId) {
        parameters.emplace("bookId", idText(*target.bookId));
    }
    if (target.bookName) {
        parameters.emplace("bookName", *target.bookName);
    }
    return parameters;
}

}  // namespace tomely
