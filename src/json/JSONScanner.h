#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "json/DataScanner.h"
#include "json/JSONValue.h"
#include "platform/Error.h"
#include "platform/TextEncoding.h"

namespace tomely {

inline constexpr std::string_view kJSONScannerErrorDomain = "JSONScannerErrorDomain";

enum JSONScannerErrorCode : long {
    kJSONScannerDataNotEncodedError = -12,
    kJSONScannerInvalidCharacterError = -15,
    kJSONScannerDictionaryNotStartedError = -101,
    kJSONScannerDictionaryKeyError = -102,
    kJSONScannerDictionaryKeyNotTerminatedError = -103,
    kJSONScannerDictionaryValueError = -104,
    kJSONScannerDictionaryNotDelimitedError = -105,
    kJSONScannerArrayNotStartedError = -201,
    kJSONScannerArrayValueError = -202,
    kJSONScannerArrayValueIsNullError = -203,
    kJSONScannerArrayNotTerminatedError = -204,
    kJSONScannerStringNotStartedError = -301,
    kJSONScannerStringUnicodeError = -302,
    kJSONScannerStringUnknownEscapeError = -303,
    kJSONScannerStringNotTerminatedError = -304,
    kJSONScannerNumberError = -401,
};

// The JSON grammar over a DataScanner. Lenient in a few fixed ways: a comma may close an array or
// an object, an unknown escape stands for the escaped character (unless strictEscapeCodes), and
// nothing after the value is looked at. Strict in others: strings only in double quotes, no
// comments.
//
// Every scan operation returns what it scanned, or nothing on failure, and then stores an error in
// `error` when one is given: domain kJSONScannerErrorDomain, the code and message of the failing
// construct, and userInfoForScanLocation()'s entries. An object, array or string that fails moves
// the location back to where it began (except with kJSONScannerDictionaryNotStartedError,
// kJSONScannerArrayNotStartedError, kJSONScannerArrayValueIsNullError and
// kJSONScannerStringNotTerminatedError), and an enclosing object or array then fails with its
// own error, so callers get the error of the outermost construct that failed, positioned at its
// start.
//
// Objects and arrays nest at most kMaxNestingDepth deep: the container at that depth fails with
// its "could not scan a value" error (kJSONScannerDictionaryValueError or
// kJSONScannerArrayValueError) when a value in it opens another one, which keeps the recursion
// bounded whatever the input.
//
// Not thread-safe: one scanner serves one thread at a time.
class JSONScanner : public DataScanner {
public:
    static constexpr int kMaxNestingDepth = 512;

    JSONScanner() = default;

    // The value that JSON null becomes. With nullopt, null members and elements are left out,
    // and null at the top level yields no value. Default: the null JSONValue.
    [[nodiscard]] const std::optional<JSONValue>& nullObject() const { return nullObject_; }
    void setNullObject(std::optional<JSONValue> nullObject) { nullObject_ = std::move(nullObject); }
    // With true, an unknown escape in a string fails with kJSONScannerStringUnknownEscapeError.
    // Default: false.
    [[nodiscard]] bool strictEscapeCodes() const { return strictEscapeCodes_; }
    void setStrictEscapeCodes(bool strict) { strictEscapeCodes_ = strict; }
    // A second encoding tried when the input does not read in the detected one. Default: None.
    [[nodiscard]] TextEncoding allowedEncoding() const { return allowedEncoding_; }
    void setAllowedEncoding(TextEncoding encoding) { allowedEncoding_ = encoding; }

    // Prepares `data` for scanning from its start. From 4 bytes on, the encoding is detected from
    // the zero bytes among the first four (UTF-32 or UTF-16 of either byte order, else UTF-8) and
    // the whole input must read in it, or else in allowedEncoding(); the text is then scanned as
    // UTF-8, a leading UTF-8 byte-order mark dropped. Shorter input is scanned as it is. Fails with
    // kJSONScannerDataNotEncodedError when the input reads in neither encoding; there is then
    // nothing to scan. Input that is UTF-8 already is scanned where it lies, without a copy (a
    // large answer would otherwise be held twice): it must then stay alive and unchanged until
    // the data is replaced.
    [[nodiscard]] bool setData(std::string_view data, Error* error = nullptr);

    // Any value. When the location is on a word that is not true, false or null, or on null while
    // nullObject() is nullopt, it succeeds with `outObject` empty and the location on the word:
    // that third outcome is why this scan answers whether it succeeded and fills `outObject`.
    // Fails with kJSONScannerInvalidCharacterError on a character that starts no value (the end
    // included).
    [[nodiscard]] bool scanJSONObject(std::optional<JSONValue>& outObject, Error* error = nullptr);
    // An object; a later duplicate key replaces the earlier member. Fails with the dictionary
    // codes; the member loop ends only on a closing brace, so a missing one shows as one of those.
    [[nodiscard]] std::optional<JSONDictionary> scanJSONDictionary(Error* error = nullptr);
    // An array. Fails with the array codes.
    [[nodiscard]] std::optional<JSONArray> scanJSONArray(Error* error = nullptr);
    // An array whose elements are handed to `element` one at a time as they are scanned, never
    // held together. Fails as scanJSONArray does; the elements handed over before stay handed over.
    [[nodiscard]] bool scanJSONArrayElements(const std::function<void(JSONValue&&)>& element, Error* error = nullptr);
    // A double-quoted string, as UTF-8. Fails with the string codes. Backslash-u escapes give
    // UTF-16 code units, two of which form one character when they are a surrogate pair; an
    // unpaired surrogate, and any bytes that are not UTF-8 (possible only in input too short to
    // have been checked), become U+FFFD.
    [[nodiscard]] std::optional<std::string> scanJSONStringConstant(Error* error = nullptr);
    // A number (see DataScanner::scanNumber). Code kJSONScannerNumberError.
    [[nodiscard]] std::optional<JSONValue> scanJSONNumberConstant(Error* error = nullptr);

private:
    // Reports the error of the construct at the scan location; always nothing.
    std::nullopt_t fail(Error* error, JSONScannerErrorCode code, std::string_view message) const;
    enum class EscapeResult { Taken, BadUnicode, Unknown };
    // Appends what the escape after a backslash stands for.
    EscapeResult scanEscape(std::string& out);
    // The four hex digits after backslash-u, and a low surrogate's escape right after a high one.
    bool scanUnicodeEscape(std::string& out);
    bool scanFourHexDigits(char16_t& outUnit);

    std::optional<JSONValue> nullObject_ = JSONValue();
    bool strictEscapeCodes_ = false;
    TextEncoding allowedEncoding_ = TextEncoding::None;
    int depth_ = 0;
};

}  // namespace tomely
