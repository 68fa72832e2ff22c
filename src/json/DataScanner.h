#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "json/JSONValue.h"
#include "platform/ByteSet.h"

namespace tomely {

// A cursor over a block of bytes, its own or the caller's. The scan location is a byte offset
// that never moves past the end; reading at the end yields the character 0, which matches no token.
// Not thread-safe: one scanner serves one thread at a time.
class DataScanner {
public:
    using UserInfo = std::map<std::string, std::string, std::less<>>;

    // Space, tab, line feed, vertical tab, form feed and carriage return; nothing else.
    static constexpr ByteSet kWhitespace{" \t\n\v\f\r"};
    // The bytes a number's text is taken from (not checked against JSON's number grammar).
    static constexpr ByteSet kNumberCharacters{"0123456789eE-+."};

    DataScanner() = default;
    DataScanner(const DataScanner&) = delete;
    DataScanner& operator=(const DataScanner&) = delete;

    // Takes `data` and moves to its start.
    void setData(std::string data);
    // Scans `data` where it lies, without a copy, from its start: the bytes must stay alive and
    // unchanged until the data is replaced.
    void setDataWithoutCopy(std::string_view data);
    [[nodiscard]] std::string_view data() const { return data_; }

    [[nodiscard]] std::size_t scanLocation() const { return location_; }
    // Moves to `location`, or to the end when that lies past it.
    void setScanLocation(std::size_t location);
    [[nodiscard]] bool isAtEnd() const { return location_ >= data_.size(); }

    // The byte at the scan location, 0 at the end.
    [[nodiscard]] char currentCharacter() const { return isAtEnd() ? '\0' : data_[location_]; }
    // Reads the current byte and moves past it; 0 at the end, where the location stays.
    char scanCharacter();
    // Moves past the current byte only when it is `character`; says whether it did.
    bool scanCharacter(char character);
    // Moves past `word` only when the bytes at the location are that word; stores it in
    // `intoString` when given.
    bool scanUTF8String(std::string_view word, std::string* intoString = nullptr);
    // Takes the longest run (possibly none) of bytes in `set`; says whether it was non-empty. The
    // run is handed out as a view into data(), valid until the data changes; its bytes are
    // whatever the input held, which callers repair when it may not be UTF-8.
    bool scanCharactersFromSet(const ByteSet& set, std::string_view* intoString = nullptr);
    void skipWhitespace();

    // Takes the longest run of kNumberCharacters and reads it as a number of one of three kinds:
    // with ".", "e" or "E" a Decimal; otherwise with "-" a signed integer from the run's leading
    // integer; otherwise an unsigned integer from the leading digits, read as octal after a leading
    // 0 as unsigned text conversion does. Integers saturate at their type's limits. Fails, with the
    // location unchanged, when there is no run or the run's leading number has no digit (a lone
    // "-", say), as such a text has no value.
    bool scanNumber(JSONValue* outValue);

    // Where the scan location is, for error reports: "line" (CR and LF bytes before it; a CR LF
    // pair counts twice), "character" (bytes since the last line break), "location" (the offset)
    // and "snippet" (up to 20 bytes either side, joined by "!HERE>!", as UTF-8 text).
    [[nodiscard]] UserInfo userInfoForScanLocation() const;
    // The same for any location in any bytes.
    [[nodiscard]] static UserInfo userInfoForLocation(std::string_view data, std::size_t location);

private:
    // The bytes set with setData; data_ views them, or the caller's bytes.
    std::string owned_;
    std::string_view data_;
    std::size_t location_ = 0;
};

}  // namespace tomely
