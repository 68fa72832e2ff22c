#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tomely {

// A base-10 number: (-1)^negative × mantissa × 10^exponent. It keeps the digits of a JSON number
// exactly (up to 19 significant digits, which covers every double and every 64-bit integer), so a
// decoded value is written back with the same digits. Always normalised: no trailing zeros in
// the mantissa, and zero is positive with exponent 0, so equal numbers compare equal.
class Decimal {
public:
    // The most significant digits a mantissa keeps; further digits are rounded off (half up).
    static constexpr int kMaxDigits = 19;
    // Exponents are clamped to this magnitude.
    static constexpr std::int32_t kMaxExponent = 1'000'000'000;

    Decimal() = default;
    Decimal(std::uint64_t mantissa, std::int32_t exponent, bool negative);

    // Reads the leading decimal number of `text`: an optional sign, digits with an optional
    // fraction, then an optional exponent ("e" or "E", an optional sign, digits); whatever follows
    // is ignored, and an exponent marker without digits counts for nothing. nullopt when the
    // mantissa has no digit at all.
    [[nodiscard]] static std::optional<Decimal> fromString(std::string_view text);

    [[nodiscard]] std::uint64_t mantissa() const { return mantissa_; }
    [[nodiscard]] std::int32_t exponent() const { return exponent_; }

    // Text that reads back as the same number: plain digits when that is short ("100000",
    // "-0.25"), otherwise the mantissa's digits and an exponent ("15E300", "5E-400"), which also
    // keeps a number beyond the 64-bit range from being read back as an integer.
    [[nodiscard]] std::string toString() const;

    bool operator==(const Decimal&) const = default;

private:
    void normalize();

    std::uint64_t mantissa_ = 0;
    std::int32_t exponent_ = 0;
    bool negative_ = false;
};

}  // namespace tomely
