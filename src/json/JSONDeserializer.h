#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "json/JSONScanner.h"
#include "json/JSONValue.h"
#include "platform/Error.h"
#include "platform/TextEncoding.h"

namespace tomely {

inline constexpr std::string_view kJSONDeserializerErrorDomain = "JSONDeserializerErrorDomain";

enum JSONDeserializerErrorCode : long {
    kJSONDeserializerEmptyInputError = -11,
};

// Decodes JSON text into values: the facade the steps use. Failures come back as nullopt and,
// when `error` is given, an error: kJSONDeserializerEmptyInputError in kJSONDeserializerErrorDomain
// (no user information) for empty input, and JSONScanner's errors otherwise. A top-level word that is no value ("tru",
// or null while nullObject() is nullopt) gives nullopt without an error. Whatever follows the
// value is not looked at.
//
// Owns its scanner, which keeps the last input. Not thread-safe: use one deserializer per thread.
class JSONDeserializer {
public:
    // A deserializer with default settings.
    [[nodiscard]] static JSONDeserializer deserializer() { return {}; }

    [[nodiscard]] std::optional<JSONValue> deserialize(std::string_view data, Error* error = nullptr);
    // The same, but the top level must be an object (else kJSONScannerDictionaryNotStartedError).
    [[nodiscard]] std::optional<JSONDictionary> deserializeAsDictionary(std::string_view data, Error* error = nullptr);
    // The same, but the top level must be an array (else kJSONScannerArrayNotStartedError).
    [[nodiscard]] std::optional<JSONArray> deserializeAsArray(std::string_view data, Error* error = nullptr);
    // As deserializeAsArray, but each element is handed to `element` as soon as it is decoded, so
    // that a long array never exists as one tree: the caller keeps what it needs of each. On a
    // failure the elements handed over before stay handed over.
    [[nodiscard]] bool deserializeArrayElements(std::string_view data, const std::function<void(JSONValue&&)>& element,
                                                Error* error = nullptr);

    // Forwarded to the scanner (see JSONScanner).
    [[nodiscard]] const std::optional<JSONValue>& nullObject() { return scanner().nullObject(); }
    void setNullObject(std::optional<JSONValue> nullObject) { scanner().setNullObject(std::move(nullObject)); }
    [[nodiscard]] TextEncoding allowedEncoding() { return scanner().allowedEncoding(); }
    void setAllowedEncoding(TextEncoding encoding) { scanner().setAllowedEncoding(encoding); }

    // The scanner, created on first use.
    [[nodiscard]] JSONScanner& scanner();

private:
    // Checks for empty input and prepares the scanner; false (with the error) when there is
    // nothing to scan.
    [[nodiscard]] bool prepare(std::string_view data, Error* error = nullptr);

    std::unique_ptr<JSONScanner> scanner_;
};

}  // namespace tomely
