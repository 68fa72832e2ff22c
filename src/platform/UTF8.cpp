#include "platform/UTF8.h"

#include <cstdint>
#include <cstring>

namespace tomely::utf8 {
namespace {

// Result of looking at the sequence that starts at a byte: its length when well-formed, or the
// length of its maximal ill-formed prefix (at least 1) when not.
struct Sequence {
    std::size_t length;
    bool wellFormed;
};

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0U) == 0x80U;
}

Sequence sequenceAt(const unsigned char* p, std::size_t available) {
    const unsigned char lead = p[0];
    if (lead < 0x80U) {
        return {1, true};
    }
    std::size_t length = 0;
    // The second byte's range is narrower for some lead bytes; that is what rules out overlong
    // forms, surrogates and code points past U+10FFFF.
    unsigned char low = 0x80U;
    unsigned char high = 0xBFU;
    if (lead >= 0xC2U && lead <= 0xDFU) {
        length = 2;
    } else if (lead >= 0xE0U && lead <= 0xEFU) {
        length = 3;
        if (lead == 0xE0U) {
            low = 0xA0U;
        } else if (lead == 0xEDU) {
            high = 0x9FU;
        }
    } else if (lead >= 0xF0U && lead <= 0xF4U) {
        length = 4;
        if (lead == 0xF0U) {
            low = 0x90U;
        } else if (lead == 0xF4U) {
            high = 0x8FU;
        }
    } else {
        return {1, false};
    }
    if (available < 2 || p[1] < low || p[1] > high) {
        return {1, false};
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (i >= available || !isContinuation(p[i])) {
            return {i, false};
        }
    }
    return {length, true};
}

// Skips the ASCII prefix eight bytes at a time: JSON texts are mostly ASCII.
std::size_t asciiPrefixLength(const unsigned char* p, std::size_t size) {
    std::size_t i = 0;
    while (i + 8 <= size) {
        std::uint64_t word = 0;
        std::memcpy(&word, p + i, sizeof word);
        if ((word & 0x8080808080808080ULL) != 0) {
            break;
        }
        i += 8;
    }
    while (i < size && p[i] < 0x80U) {
        ++i;
    }
    return i;
}

}  // namespace

std::size_t wellFormedSequenceLength(std::string_view bytes, std::size_t at) {
    const Sequence sequence = sequenceAt(reinterpret_cast<const unsigned char*>(bytes.data()) + at, bytes.size() - at);
    return sequence.wellFormed ? sequence.length : 0;
}

bool isValid(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    std::size_t i = 0;
    while (i < size) {
        i += asciiPrefixLength(p + i, size - i);
        if (i == size) {
            break;
        }
        const Sequence sequence = sequenceAt(p + i, size - i);
        if (!sequence.wellFormed) {
            return false;
        }
        i += sequence.length;
    }
    return true;
}

void appendRepairing(std::string& out, std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    std::size_t i = 0;
    std::size_t runStart = 0;
    while (i < size) {
        i += asciiPrefixLength(p + i, size - i);
        if (i == size) {
            break;
        }
        const Sequence sequence = sequenceAt(p + i, size - i);
        if (!sequence.wellFormed) {
            out.append(bytes.substr(runStart, i - runStart));
            out.append(kReplacementCharacter);
            runStart = i + sequence.length;
        }
        i += sequence.length;
    }
    out.append(bytes.substr(runStart));
}

std::string repaired(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    appendRepairing(out, bytes);
    return out;
}

void appendCodePoint(std::string& out, char32_t codePoint) {
    if ((codePoint >= 0xD800U && codePoint <= 0xDFFFU) || codePoint > 0x10FFFFU) {
        out.append(kReplacementCharacter);
    } else if (codePoint < 0x80U) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800U) {
        out.push_back(static_cast<char>(0xC0U | (codePoint >> 6U)));
        out.push_back(static_cast<char>(0x80U | (codePoint & 0x3FU)));
    } else if (codePoint < 0x10000U) {
        out.push_back(static_cast<char>(0xE0U | (codePoint >> 12U)));
        out.push_back(static_cast<char>(0x80U | ((codePoint >> 6U) & 0x3FU)));
        out.push_back(static_cast<char>(0x80U | (codePoint & 0x3FU)));
    } else {
        out.push_back(static_cast<char>(0xF0U | (codePoint >> 18U)));
        out.push_back(static_cast<char>(0x80U | ((codePoint >> 12U) & 0x3FU)));
        out.push_back(static_cast<char>(0x80U | ((codePoint >> 6U) & 0x3FU)));
        out.push_back(static_cast<char>(0x80U | (codePoint & 0x3FU)));
    }
}

std::size_t completePrefixLength(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    // A sequence is at most four bytes, so only a lead byte among the last three can be cut.
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        const unsigned char byte = p[size - back];
        if (isContinuation(byte)) {
            continue;
        }
        std::size_t expected = 1;
        if (byte >= 0xF0U) {
            expected = 4;
        } else if (byte >= 0xE0U) {
            expected = 3;
        } else if (byte >= 0xC0U) {
            expected = 2;
        }
        return expected > back ? size - back : size;
    }
    return size;
}

}  // namespace tomely::utf8
