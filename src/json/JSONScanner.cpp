#include "json/JSONScanner.h"

#include "platform/UTF8.h"

namespace tomely {
namespace {

// Everything a string holds between escapes.
constexpr ByteSet kUnescapedStringBytes = ByteSet::allExcept("\"\\");

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// How many bytes a leading byte-order mark takes. It says nothing about the value; left in, it
// would fail as a stray character.
std::size_t byteOrderMarkLength(std::string_view text) {
    return text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
}

// JSON's encoding detection: the first two characters of a JSON text are ASCII, so the zero
// bytes among the first four tell UTF-32 and UTF-16 and their byte orders from UTF-8.
TextEncoding detectEncoding(std::string_view data) {
    const auto b0 = static_cast<unsigned char>(data[0]);
    const auto b1 = static_cast<unsigned char>(data[1]);
    const auto b2 = static_cast<unsigned char>(data[2]);
    const auto b3 = static_cast<unsigned char>(data[3]);
    if (b0 == 0 && b1 == 0 && b2 == 0 && b3 != 0) {
        return TextEncoding::UTF32BigEndian;
    }
    if (b0 == 0 && b1 != 0 && b2 == 0 && b3 != 0) {
        return TextEncoding::UTF16BigEndian;
    }
    if (b0 != 0 && b1 == 0 && b2 == 0 && b3 == 0) {
        return TextEncoding::UTF32LittleEndian;
    }
    if (b0 != 0 && b1 == 0 && b2 != 0 && b3 == 0) {
        return TextEncoding::UTF16LittleEndian;
    }
    return TextEncoding::UTF8;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800U && unit <= 0xDBFFU;
}
bool isLowSurrogate(char16_t unit) {
    return unit >= 0xDC00U && unit <= 0xDFFFU;
}

class DepthGuard {
public:
    explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& depth_;
};

}  // namespace

std::nullopt_t JSONScanner::fail(Error* error, JSONScannerErrorCode code, std::string_view message) const {
    if (error != nullptr) {
        Error made = Error::make(std::string(kJSONScannerErrorDomain), code, std::string(message));
        made.userInfo.merge(userInfoForScanLocation());
        *error = std::move(made);
    }
    return std::nullopt;
}

bool JSONScanner::setData(std::string_view data, Error* error) {
    if (data.size() < 4) {
        DataScanner::setData(std::string(data));
        return true;
    }
    const TextEncoding detected = detectEncoding(data);
    if (detected == TextEncoding::UTF8 && utf8::isValid(data)) {
        DataScanner::setDataWithoutCopy(data.substr(byteOrderMarkLength(data)));
        return true;
    }
    std::optional<std::string> text = convertToUTF8(data, detected);
    if (!text && allowedEncoding_ != TextEncoding::None) {
        text = convertToUTF8(data, allowedEncoding_);
    }
    if (!text) {
        DataScanner::setData({});
        if (error != nullptr) {
            constexpr std::string_view kMessage = "Could not scan data. Data wasn't encoded properly?";
            Error made = Error::make(std::string(kJSONScannerErrorDomain), kJSONScannerDataNotEncodedError,
                                     std::string(kMessage));
            made.userInfo.merge(userInfoForLocation(data, 0));
            *error = std::move(made);
        }
        return false;
    }
    text->erase(0, byteOrderMarkLength(*text));
    DataScanner::setData(std::move(*text));
    return true;
}

bool JSONScanner::scanJSONObject(std::optional<JSONValue>& outObject, Error* error) {
    outObject.reset();
    skipWhitespace();
    switch (currentCharacter()) {
        case '{': {
            // Reached only inside a container, which reports its own error for the value.
            if (depth_ >= kMaxNestingDepth) {
                return false;
            }
            auto dictionary = scanJSONDictionary(error);
            if (!dictionary) {
                return false;
            }
            outObject.emplace(std::move(*dictionary));
            return true;
        }
        case '[': {
            if (depth_ >= kMaxNestingDepth) {
                return false;
            }
            auto array = scanJSONArray(error);
            if (!array) {
                return false;
            }
            outObject.emplace(std::move(*array));
            return true;
        }
        case '"':
        case '\'': {
            auto string = scanJSONStringConstant(error);
            if (!string) {
                return false;
            }
            outObject.emplace(std::move(*string));
            return true;
        }
        case '-':
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
        case '8':
        case '9': {
            outObject = scanJSONNumberConstant(error);
            return outObject.has_value();
        }
        // A word other than these three is no value, but no error either: the caller decides.
        case 't':
            if (scanUTF8String("true")) {
                outObject.emplace(true);
            }
            return true;
        case 'f':
            if (scanUTF8String("false")) {
                outObject.emplace(false);
            }
            return true;
        case 'n':
            if (scanUTF8String("null")) {
                outObject = nullObject_;
            }
            return true;
        default:
            fail(error, kJSONScannerInvalidCharacterError,
                 "Could not scan object. Character not a valid JSON character.");
            return false;
    }
}

// The parts of a container are scanned without an error out-parameter: the container replaces
// any error of theirs with its own.
std::optional<JSONDictionary> JSONScanner::scanJSONDictionary(Error* error) {
    const std::size_t start = scanLocation();
    const DepthGuard depth(depth_);
    const auto failAtStart = [&](JSONScannerErrorCode code, std::string_view message) {
        setScanLocation(start);
        return fail(error, code, message);
    };
    skipWhitespace();
    if (!scanCharacter('{')) {
        return fail(error, kJSONScannerDictionaryNotStartedError,
                    "Could not scan dictionary. Dictionary that does not start with '{' character.");
    }
    JSONDictionary dictionary;
    // The loop ends only on a closing brace, which it takes.
    while (!scanCharacter('}')) {
        skipWhitespace();
        if (scanCharacter('}')) {
            break;
        }
        std::optional<std::string> key = scanJSONStringConstant();
        if (!key) {
            return failAtStart(kJSONScannerDictionaryKeyError, "Could not scan dictionary. Failed to scan a key.");
        }
        skipWhitespace();
        if (!scanCharacter(':')) {
            return failAtStart(kJSONScannerDictionaryKeyNotTerminatedError,
                               "Could not scan dictionary. Key was not terminated with a ':' character.");
        }
        std::optional<JSONValue> value;
        if (!scanJSONObject(value)) {
            return failAtStart(kJSONScannerDictionaryValueError, "Could not scan dictionary. Failed to scan a value.");
        }
        if (value) {
            dictionary.insert_or_assign(std::move(*key), std::move(*value));
        }
        skipWhitespace();
        if (scanCharacter(',')) {
            skipWhitespace();
        } else if (currentCharacter() != '}') {
            return failAtStart(kJSONScannerDictionaryNotDelimitedError,
                               "Could not scan dictionary. Key value pairs not delimited with a ',' character.");
        }
    }
    return dictionary;
}

std::optional<JSONArray> JSONScanner::scanJSONArray(Error* error) {
    JSONArray array;
    if (!scanJSONArrayElements([&array](JSONValue&& value) { array.push_back(std::move(value)); }, error)) {
        return std::nullopt;
    }
    return array;
}

bool JSONScanner::scanJSONArrayElements(const std::function<void(JSONValue&&)>& element, Error* error) {
    const std::size_t start = scanLocation();
    const DepthGuard depth(depth_);
    const auto failAtStart = [&](JSONScannerErrorCode code, std::string_view message) {
        setScanLocation(start);
        fail(error, code, message);
        return false;
    };
    skipWhitespace();
    if (!scanCharacter('[')) {
        fail(error, kJSONScannerArrayNotStartedError, "Could not scan array. Array not started by a '[' character.");
        return false;
    }
    skipWhitespace();
    // The loop ends only on a closing bracket, which it takes.
    while (!scanCharacter(']')) {
        std::optional<JSONValue> value;
        if (!scanJSONObject(value)) {
            return failAtStart(kJSONScannerArrayValueError, "Could not scan array. Could not scan a value.");
        }
        if (value) {
            element(std::move(*value));
        } else if (nullObject_) {
            // The location stays on the word that is no value.
            fail(error, kJSONScannerArrayValueIsNullError, "Could not scan array. Value is NULL.");
            return false;
        }
        skipWhitespace();
        if (scanCharacter(',')) {
            skipWhitespace();
        } else if (currentCharacter() != ']') {
            return failAtStart(kJSONScannerArrayNotTerminatedError,
                               "Could not scan array. Array not terminated by a ']' character.");
        }
    }
    return true;
}

std::optional<std::string> JSONScanner::scanJSONStringConstant(Error* error) {
    const std::size_t start = scanLocation();
    skipWhitespace();
    if (!scanCharacter('"')) {
        setScanLocation(start);
        return fail(error, kJSONScannerStringNotStartedError,
                    "Could not scan string constant. String not started by a '\"' character.");
    }
    std::string string;
    while (!scanCharacter('"')) {
        std::string_view run;
        if (scanCharactersFromSet(kUnescapedStringBytes, &run)) {
            string.append(run);
        } else if (scanCharacter('\\')) {
            switch (scanEscape(string)) {
                case EscapeResult::Taken:
                    break;
                case EscapeResult::BadUnicode:
                    setScanLocation(start);
                    return fail(error, kJSONScannerStringUnicodeError,
                                "Could not scan string constant. Unicode character could not be decoded.");
                case EscapeResult::Unknown:
                    setScanLocation(start);
                    return fail(error, kJSONScannerStringUnknownEscapeError,
                                "Could not scan string constant. Unknown escape code.");
            }
        } else {
            return fail(error, kJSONScannerStringNotTerminatedError,
                        "Could not scan string constant. No terminating double quote character.");
        }
    }
    // Input checked as a whole is UTF-8 already; only short unchecked input can need this.
    if (!utf8::isValid(string)) {
        string = utf8::repaired(string);
    }
    return string;
}

JSONScanner::EscapeResult JSONScanner::scanEscape(std::string& out) {
    const char escaped = scanCharacter();
    switch (escaped) {
        case '"':
        case '\\':
        case '/':
            out.push_back(escaped);
            return EscapeResult::Taken;
        case 'b':
            out.push_back('\b');
            return EscapeResult::Taken;
        case 'f':
            out.push_back('\f');
            return EscapeResult::Taken;
        case 'n':
            out.push_back('\n');
            return EscapeResult::Taken;
        case 'r':
            out.push_back('\r');
            return EscapeResult::Taken;
        case 't':
            out.push_back('\t');
            return EscapeResult::Taken;
        case 'u':
            return scanUnicodeEscape(out) ? EscapeResult::Taken : EscapeResult::BadUnicode;
        default:
            if (strictEscapeCodes_) {
                return EscapeResult::Unknown;
            }
            // The escaped byte stands for itself; a multi-byte character goes on in the next run.
            out.push_back(escaped);
            return EscapeResult::Taken;
    }
}

bool JSONScanner::scanUnicodeEscape(std::string& out) {
    char16_t unit = 0;
    if (!scanFourHexDigits(unit)) {
        return false;
    }
    if (isHighSurrogate(unit)) {
        // Only a low surrogate written as the very next escape completes the character.
        const std::size_t afterHigh = scanLocation();
        char16_t low = 0;
        if (scanCharacter('\\') && scanCharacter('u') && scanFourHexDigits(low) && isLowSurrogate(low)) {
            utf8::appendCodePoint(out, 0x10000U + ((char32_t{unit} - 0xD800U) << 10U) + (char32_t{low} - 0xDC00U));
            return true;
        }
        setScanLocation(afterHigh);
    }
    // An unpaired surrogate has no UTF-8 form; appendCodePoint makes it U+FFFD.
    utf8::appendCodePoint(out, unit);
    return true;
}

bool JSONScanner::scanFourHexDigits(char16_t& outUnit) {
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = hexValue(currentCharacter());
        if (digit < 0) {
            return false;
        }
        scanCharacter();
        value = (value << 4U) | static_cast<unsigned>(digit);
    }
    outUnit = static_cast<char16_t>(value);
    return true;
}

std::optional<JSONValue> JSONScanner::scanJSONNumberConstant(Error* error) {
    skipWhitespace();
    JSONValue number;
    if (!scanNumber(&number)) {
        return fail(error, kJSONScannerNumberError, "Could not scan number constant.");
    }
    return number;
}

}  // namespace tomely
