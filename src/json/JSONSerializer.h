#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "json/JSONValue.h"
#include "platform/Error.h"

namespace tomely {

// The serializer's error domain.
inline constexpr std::string_view kJSONSerializerErrorDomain = "TODO_DOMAIN";

enum JSONSerializerErrorCode : long {
    kJSONSerializerUnsupportedValueError = -1,
};

// Writes values as compact JSON text in UTF-8: no whitespace at all, dictionary members in the
// dictionary's (sorted) order, strings escaped byte by byte with a fixed table (backslash, double
// quote, slash, and \b \t \n \f \r; the other control bytes below 32 as \u00XX, since JSON allows
// none of them raw). A string ends at its first zero byte; bytes that are not UTF-8 are written as
// U+FFFD, so the output is always UTF-8.
//
// Every kind of JSONValue can be written except a custom object without a JSON representation.
// Such a value fails with kJSONSerializerUnsupportedValueError in kJSONSerializerErrorDomain,
// "Cannot serialize data of type '<type>'"; every array or dictionary around it that was handed
// to serializeObject (directly or as a member) replaces that with "Could not serialize object
// '<description>'", so the caller gets the error of the outermost value that failed below the
// operation it called.
//
// Stateless; safe to use from any thread.
class JSONSerializer {
public:
    [[nodiscard]] static JSONSerializer serializer() { return {}; }

    [[nodiscard]] std::optional<std::string> serializeObject(const JSONValue& object, Error* error = nullptr) const;
    [[nodiscard]] std::string serializeNull() const { return "null"; }
    // A boolean or a number; any other kind fails with "Cannot serialize data of type".
    [[nodiscard]] std::optional<std::string> serializeNumber(const JSONValue& number, Error* error = nullptr) const;
    [[nodiscard]] std::string serializeString(std::string_view string) const;
    [[nodiscard]] std::optional<std::string> serializeArray(const JSONArray& array, Error* error = nullptr) const;
    [[nodiscard]] std::optional<std::string> serializeDictionary(const JSONDictionary& dictionary,
                                                                 Error* error = nullptr) const;

    // Whether `object` is of a kind that can be written; does not look inside arrays or
    // dictionaries.
    [[nodiscard]] static bool isValidJSONObject(const JSONValue& object);
};

}  // namespace tomely
