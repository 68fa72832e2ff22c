#include "support/ZipEntryPath.h"

#include <algorithm>
#include <cstdint>

namespace tomely {
namespace {

// Length of the well-formed UTF-8 sequence starting at `at`, or 0 when it is ill-formed.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            low = 0xA0;  // overlong
        } else if (lead == 0xED) {
            high = 0x9F;  // surrogates
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            low = 0x90;  // overlong
        } else if (lead == 0xF4) {
            high = 0x8F;  // above U+10FFFF
        }
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    if (byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

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

bool isValidUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8SequenceLength(text, at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

std::string printableName(std::string_view rawName) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t at = 0; at < rawName.size();) {
        const auto lead = static_cast<std::uint8_t>(rawName[at]);
        const std::size_t length = utf8SequenceLength(rawName, at);
        if (length > 1 || (length == 1 && lead >= 0x20 && lead != 0x7F && lead != '\\')) {
            text.append(rawName.substr(at, length));
            at += length;
        } else {
            text += "\\x";
            text += kHex[lead >> 4];
            text += kHex[lead & 0xF];
            ++at;
        }
    }
    return text;
}

ZipEntryPath ZipEntryPath::parse(std::string_view rawName) {
    ZipEntryPath path;
    path.isDirectory = !rawName.empty() && (rawName.back() == '/' || rawName.back() == '\\');
    if (rawName.empty()) {
        path.verdict = Verdict::Empty;
        return path;
    }
    // A zero byte would cut the name short wherever it is handed on as C text, naming another file.
    if (rawName.find('\0') != std::string_view::npos || !isValidUtf8(rawName)) {
        path.verdict = Verdict::InvalidUtf8;
        return path;
    }
    path.name = std::string(rawName);
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
        case ZipEntryPath::Verdict::InvalidUtf8:
            return "its name is not valid UTF-8";
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
