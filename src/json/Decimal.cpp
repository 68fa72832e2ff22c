#include "json/Decimal.h"

#include <algorithm>
#include <cstdlib>

namespace tomely {
namespace {

constexpr std::uint64_t kMantissaLimit = 10'000'000'000'000'000'000ULL;  // 10^19

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::int32_t clampExponent(std::int64_t exponent) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(exponent, -Decimal::kMaxExponent, Decimal::kMaxExponent));
}

}  // namespace

Decimal::Decimal(std::uint64_t mantissa, std::int32_t exponent, bool negative)
    : mantissa_(mantissa), exponent_(clampExponent(exponent)), negative_(negative) {
    normalize();
}

std::optional<Decimal> Decimal::fromString(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::uint64_t mantissa = 0;
    std::int64_t exponent = 0;
    int keptDigits = 0;
    bool sawDigit = false;
    bool roundUp = false;
    bool droppedAny = false;
    const auto addDigit = [&](int digit, bool fractional) {
        sawDigit = true;
        if (mantissa == 0 && digit == 0) {
            // Leading zeros carry no digits; in the fraction they still shift the point.
            exponent -= fractional ? 1 : 0;
            return;
        }
        if (keptDigits < kMaxDigits) {
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(digit);
            ++keptDigits;
            exponent -= fractional ? 1 : 0;
            return;
        }
        if (!droppedAny) {
            droppedAny = true;
            roundUp = digit >= 5;
        }
        exponent += fractional ? 0 : 1;
    };
    for (; i < text.size() && isDigit(text[i]); ++i) {
        addDigit(text[i] - '0', false);
    }
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && isDigit(text[i]); ++i) {
            addDigit(text[i] - '0', true);
        }
    }
    if (!sawDigit) {
        return std::nullopt;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        bool negativeExponent = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            negativeExponent = text[j] == '-';
            ++j;
        }
        std::int64_t written = 0;
        for (; j < text.size() && isDigit(text[j]); ++j) {
            // Past the clamp the exact value no longer matters; stop growing before overflow.
            written = std::min<std::int64_t>(written * 10 + (text[j] - '0'), 10LL * kMaxExponent);
        }
        exponent += negativeExponent ? -written : written;
    }
    if (roundUp) {
        ++mantissa;
        if (mantissa == kMantissaLimit) {
            mantissa /= 10;
            ++exponent;
        }
    }
    return Decimal(mantissa, clampExponent(exponent), negative);
}

void Decimal::normalize() {
    if (mantissa_ == 0) {
        exponent_ = 0;
        negative_ = false;
        return;
    }
    while (mantissa_ % 10 == 0 && exponent_ < kMaxExponent) {
        mantissa_ /= 10;
        ++exponent_;
    }
}

std::string Decimal::toString() const {
    if (mantissa_ == 0) {
        return "0";
    }
    const std::string digits = std::to_string(mantissa_);
    const auto count = static_cast<std::int64_t>(digits.size());
    std::string text = negative_ ? "-" : "";
    if (exponent_ >= 0) {
        // Below 10^18 the plain form fits every 64-bit integer kind it may be read back as.
        if (count + exponent_ <= 18) {
            text += digits;
            text.append(static_cast<std::size_t>(exponent_), '0');
            return text;
        }
    } else {
        const std::int64_t fractionDigits = -static_cast<std::int64_t>(exponent_);
        constexpr std::int64_t kMaxLeadingZeros = 20;
        if (fractionDigits < count) {
            const auto split = static_cast<std::size_t>(count - fractionDigits);
            text.append(digits, 0, split);
            text += '.';
            text.append(digits, split);
            return text;
        }
        if (fractionDigits - count <= kMaxLeadingZeros) {
            text += "0.";
            text.append(static_cast<std::size_t>(fractionDigits - count), '0');
            text += digits;
            return text;
        }
    }
    text += digits;
    text += 'E';
    text += std::to_string(exponent_);
    return text;
}

}  // namespace tomely
