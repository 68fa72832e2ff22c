#include "json/JSONSerializer.h"

#include <array>
#include <charconv>

#include "platform/HexText.h"
#include "platform/UTF8.h"

namespace tomely {
namespace {

// The letter written after a backslash for each byte that is escaped, 0 for the rest. Control
// bytes without a short form get 'u' and are written as \u00XX.
constexpr std::array<char, 256> kEscapeLetters = [] {
    std::array<char, 256> letters{};
    for (std::size_t control = 1; control < 0x20; ++control) {
        letters[control] = 'u';
    }
    letters['\\'] = '\\';
    letters['"'] = '"';
    letters['/'] = '/';
    letters['\b'] = 'b';
    letters['\t'] = 't';
    letters['\n'] = 'n';
    letters['\f'] = 'f';
    letters['\r'] = 'r';
    return letters;
}();

Error cannotSerializeType(std::string_view typeName) {
    return Error::make(std::string(kJSONSerializerErrorDomain), kJSONSerializerUnsupportedValueError,
                       "Cannot serialize data of type '" + std::string(typeName) + "'");
}

std::string_view kindName(JSONValue::Kind kind) {
    switch (kind) {
        case JSONValue::Kind::Null:
            return "null";
        case JSONValue::Kind::Boolean:
            return "boolean";
        case JSONValue::Kind::SignedInteger:
        case JSONValue::Kind::UnsignedInteger:
        case JSONValue::Kind::Decimal:
            return "number";
        case JSONValue::Kind::String:
            return "string";
        case JSONValue::Kind::Array:
            return "array";
        case JSONValue::Kind::Dictionary:
            return "dictionary";
        case JSONValue::Kind::Custom:
            return "custom";
    }
    return "unknown";
}

template <class Integer>
void appendInteger(std::string& out, Integer value) {
    std::array<char, 24> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

// False when `number` holds no boolean or number.
bool appendNumber(std::string& out, const JSONValue& number) {
    if (const bool* b = number.getIf<bool>()) {
        out += *b ? "true" : "false";
    } else if (const std::int64_t* i = number.getIf<std::int64_t>()) {
        appendInteger(out, *i);
    } else if (const std::uint64_t* u = number.getIf<std::uint64_t>()) {
        appendInteger(out, *u);
    } else if (const Decimal* d = number.getIf<Decimal>()) {
        out += d->toString();
    } else {
        return false;
    }
    return true;
}

void appendString(std::string& out, std::string_view string) {
    std::string_view text = string.substr(0, string.find('\0'));
    std::string repaired;
    if (!utf8::isValid(text)) {
        repaired = utf8::repaired(text);
        text = repaired;
    }
    out.push_back('"');
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char letter = kEscapeLetters[static_cast<unsigned char>(text[i])];
        if (letter != 0) {
            out.append(text, runStart, i - runStart);
            out.push_back('\\');
            out.push_back(letter);
            if (letter == 'u') {
                out += "00";
                appendHexDigits(out, static_cast<std::uint8_t>(text[i]), HexCase::Lower);
            }
            runStart = i + 1;
        }
    }
    out.append(text, runStart);
    out.push_back('"');
}

bool appendObject(std::string& out, const JSONValue& object, Error* error);

bool appendArray(std::string& out, const JSONArray& array, Error* error) {
    out.push_back('[');
    for (std::size_t i = 0; i < array.size(); ++i) {
        if (i != 0) {
            out.push_back(',');
        }
        if (!appendObject(out, array[i], error)) {
            return false;
        }
    }
    out.push_back(']');
    return true;
}

bool appendDictionary(std::string& out, const JSONDictionary& dictionary, Error* error) {
    out.push_back('{');
    bool first = true;
    for (const auto& [key, value] : dictionary) {
        if (!first) {
            out.push_back(',');
        }
        first = false;
        appendString(out, key);
        out.push_back(':');
        if (!appendObject(out, value, error)) {
            return false;
        }
    }
    out.push_back('}');
    return true;
}

bool appendObject(std::string& out, const JSONValue& object, Error* error) {
    switch (object.kind()) {
        case JSONValue::Kind::Null:
            out += "null";
            return true;
        case JSONValue::Kind::Boolean:
        case JSONValue::Kind::SignedInteger:
        case JSONValue::Kind::UnsignedInteger:
        case JSONValue::Kind::Decimal:
            return appendNumber(out, object);
        case JSONValue::Kind::String:
            appendString(out, *object.asString());
            return true;
        case JSONValue::Kind::Array:
        case JSONValue::Kind::Dictionary: {
            const bool written = object.kind() == JSONValue::Kind::Array
                                     ? appendArray(out, *object.asArray(), error)
                                     : appendDictionary(out, *object.asDictionary(), error);
            if (!written) {
                report(error, Error::make(std::string(kJSONSerializerErrorDomain), kJSONSerializerUnsupportedValueError,
                                          "Could not serialize object '" + object.description() + "'"));
            }
            return written;
        }
        case JSONValue::Kind::Custom: {
            const auto& custom = *object.getIf<std::shared_ptr<const JSONCustomObject>>();
            std::optional<std::string> representation = custom->JSONDataRepresentation();
            if (!representation) {
                report(error, cannotSerializeType(custom->typeName()));
                return false;
            }
            out += *representation;
            return true;
        }
    }
    return false;
}

template <class Append>
std::optional<std::string> written(Append append) {
    std::string out;
    if (!append(out)) {
        return std::nullopt;
    }
    return out;
}

}  // namespace

std::optional<std::string> JSONSerializer::serializeObject(const JSONValue& object, Error* error) const {
    return written([&](std::string& out) { return appendObject(out, object, error); });
}

std::optional<std::string> JSONSerializer::serializeNumber(const JSONValue& number, Error* error) const {
    std::string out;
    if (!appendNumber(out, number)) {
        report(error, cannotSerializeType(kindName(number.kind())));
        return std::nullopt;
    }
    return out;
}

std::string JSONSerializer::serializeString(std::string_view string) const {
    std::string out;
    out.reserve(string.size() + 2);
    appendString(out, string);
    return out;
}

std::optional<std::string> JSONSerializer::serializeArray(const JSONArray& array, Error* error) const {
    return written([&](std::string& out) { return appendArray(out, array, error); });
}

std::optional<std::string> JSONSerializer::serializeDictionary(const JSONDictionary& dictionary, Error* error) const {
    return written([&](std::string& out) { return appendDictionary(out, dictionary, error); });
}

bool JSONSerializer::isValidJSONObject(const JSONValue& object) {
    if (const auto* custom = object.getIf<std::shared_ptr<const JSONCustomObject>>()) {
        return (*custom)->JSONDataRepresentation().has_value();
    }
    return true;
}

}  // namespace tomely
