#include "PartUpload.h"

#include <map>

#include "Names.h"

namespace tomely::shelf {

namespace {

PartUploadParse refuse(std::string reason) {
    return {std::nullopt, std::move(reason)};
}

}  // namespace

PartUploadParse parsePartUpload(std::vector<FormItem>& items) {
    std::map<std::string, FormItem*> byName;
    for (auto& item : items) {
        if (!byName.emplace(item.name, &item).second) {
            return refuse("field \"" + item.name.substr(0, 100) + "\" is given more than once");
        }
    }
    const auto field = [&](const std::string& key) -> const std::string* {
        const auto found = byName.find(key);
        return found != byName.end() && found->second->filename.empty() ? &found->second->content : nullptr;
    };
    for (const char* required :
         {"name", "isZipped", "isBatch", "batchTotal", "batchCurrent", "size", "crc", "format"}) {
        if (field(required) == nullptr) {
            return refuse(std::string("field \"") + required + "\" is missing");
        }
    }
    const auto file = byName.find("file");
    if (file == byName.end()) {
        return refuse("file part \"file\" is missing");
    }
    if (*field("isZipped") != "1") {
        return refuse("field \"isZipped\" must be 1: parts are sent raw-deflated");
    }
    if (*field("format") != "iba") {
        return refuse("field \"format\" must be \"iba\"");
    }
    std::map<std::string, std::uint64_t> numbers;
    for (const char* key : {"isBatch", "batchTotal", "batchCurrent", "size", "crc"}) {
        const auto value = parseDecimal(*field(key));
        if (!value) {
            return refuse(std::string("field \"") + key + "\" is not a number");
        }
        numbers[key] = *value;
    }
    if (numbers["batchCurrent"] > numbers["batchTotal"]) {
        return refuse("field \"batchCurrent\" is beyond \"batchTotal\"");
    }
    if (numbers["size"] > kMaxPartSize) {
        return refuse("field \"size\" is over the part limit of " + std::to_string(kMaxPartSize) + " bytes");
    }
    if (numbers["crc"] > UINT32_MAX) {
        return refuse("field \"crc\" is not a CRC-32");
    }
    PartUpload upload;
    upload.name = *field("name");
    if (auto check = checkPartName(upload.name); !check.part) {
        return refuse(std::move(check.reason));
    }
    upload.batchTotal = numbers["batchTotal"];
    upload.batchCurrent = numbers["batchCurrent"];
    upload.size = numbers["size"];
    upload.crc = static_cast<std::uint32_t>(numbers["crc"]);
    if (const auto* bookId = field("bookId")) {
        upload.bookId = *bookId;
    }
    if (const auto* bookName = field("bookName")) {
        upload.bookName = *bookName;
    }
    upload.deflated = std::move(file->second->content);
    return {std::move(upload), {}};
}

}  // namespace tomely::shelf
