#include "support/ZipEntryPath.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/HexText.h"
#include "platform/TextEncoding.h"
#include "platform/UTF8.h"

namespace tomely {
namespace {

// The encoding the zip format prescribes for names without the UTF-8 flag; ICU's name for it.
constexpr std::string_view kCodePage437Encoding = "IBM437";

std::vector<std::string_view> splitOnSlashes(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('/', start), text.size());
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

}  // namespace

std::string printableName(std::string_view rawName) {
    std::string text;
    for (std::size_t at = 0; at < rawName.size();) {
        const auto lead = static_cast<std::uint8_t>(rawName[at]);
        const std::size_t length = utf8::wellFormedSequenceLength(rawName, at);
        if (length > 1 || (length == 1 && lead >= 0x20 && lead != 0x7F && lead != '\\')) {
            text.append(rawName.substr(at, length));
            at += length;
        } else {
            text += "\\x";
            appendHexDigits(text, lead, HexCase::Upper);
            ++at;
        }
    }
    return text;
}

ZipEntryPath ZipEntryPath::parse(std::string_view rawName, bool flaggedUTF8) {
    ZipEntryPath path;
    path.isDirectory = !rawName.empty() && (rawName.back() == '/' || rawName.back() == '\\');
    if (rawName.empty()) {
        path.verdict = Verdict::Empty;
        return path;
    }
    std::optional<std::string> text;
    if (utf8::isValid(rawName)) {
        text = std::string(rawName);
    } else if (!flaggedUTF8) {
        // Every byte has a character in code page 437, so this never fails.
        text = decodeText(std::span(reinterpret_cast<const std::uint8_t*>(rawName.data()), rawName.size()),
                          kCodePage437Encoding);
    }
    // A zero byte would cut the name short wherever it is handed on as C text, naming another file.
    if (!text || text->find('\0') != std::string::npos) {
        path.verdict = Verdict::Unusable;
        return path;
    }
    path.name = std::move(*text);
    std::replace(path.name.begin(), path.name.end(), '\\', '/');
    if (path.name.front() == '/') {
        path.verdict = Verdict::Absolute;
        return path;
    }
    for (const std::string_view component : splitOnSlashes(path.name)) {
        if (component == "..") {
            path.components.clear();
            path.verdict = Verdict::ParentComponent;
            return path;
        }
        if (!component.empty() && component != ".") {
            path.components.emplace_back(component);
        }
    }
    path.verdict = path.components.empty() ? Verdict::Empty : Verdict::Accepted;
    return path;
}

std::string_view reasonText(ZipEntryPath::Verdict verdict) {
    switch (verdict) {
        case ZipEntryPath::Verdict::Accepted:
            return "accepted";
        case ZipEntryPath::Verdict::Empty:
            return "its name is empty";
        case ZipEntryPath::Verdict::Unusable:
            return "its name cannot be read";
        case ZipEntryPath::Verdict::Absolute:
            return "its name is an absolute path";
        case ZipEntryPath::Verdict::ParentComponent:
            return "its name leads out of the destination";
    }
    return "";
}

bool linkTargetStaysInside(std::string_view target, std::size_t linkDepth) {
    if (target.empty() || target.front() == '/' || target.find('\0') != std::string_view::npos) {
        return false;
    }
    std::size_t climbs = 0;
    bool descended = false;
    for (const std::string_view component : splitOnSlashes(target)) {
        if (component.empty() || component == ".") {
            continue;
        }
        if (component == "..") {
            if (descended || ++climbs > linkDepth) {
                return false;
            }
        } else {
            descended = true;
        }
    }
    return true;
}

}  // namespace tomely
