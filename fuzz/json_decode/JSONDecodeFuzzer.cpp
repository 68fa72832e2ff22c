// Any byte string must decode to a value or an error without a crash, a hang or undefined
// behaviour; a decoded value must always be writable, and what is written must read back as the
// same value.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "json/JSONDeserializer.h"
#include "json/JSONSerializer.h"

namespace {

using tomely::Decimal;
using tomely::JSONArray;
using tomely::JSONDictionary;
using tomely::JSONValue;

// A number of any kind as a Decimal, since the written text of a number may read back as
// another kind (an integral decimal as an integer, a non-negative signed integer as unsigned).
std::optional<Decimal> numberAsDecimal(const JSONValue& value) {
    if (const auto* i = value.getIf<std::int64_t>()) {
        const std::uint64_t magnitude = *i < 0 ? 0 - static_cast<std::uint64_t>(*i) : static_cast<std::uint64_t>(*i);
        return Decimal(magnitude, 0, *i < 0);
    }
    if (const auto* u = value.getIf<std::uint64_t>()) {
        return Decimal(*u, 0, false);
    }
    if (const auto* d = value.getIf<Decimal>()) {
        return *d;
    }
    return std::nullopt;
}

bool holdsZeroByte(const JSONValue& value) {
    if (const auto* string = value.asString()) {
        return string->find('\0') != std::string::npos;
    }
    if (const auto* array = value.asArray()) {
        for (const JSONValue& element : *array) {
            if (holdsZeroByte(element)) {
                return true;
            }
        }
    }
    if (const auto* dictionary = value.asDictionary()) {
        for (const auto& [key, member] : *dictionary) {
            if (key.find('\0') != std::string::npos || holdsZeroByte(member)) {
                return true;
            }
        }
    }
    return false;
}

bool readsBackAs(const JSONValue& written, const JSONValue& reread) {
    const std::optional<Decimal> writtenNumber = numberAsDecimal(written);
    if (writtenNumber) {
        return writtenNumber == numberAsDecimal(reread);
    }
    if (written.kind() != reread.kind()) {
        return false;
    }
    if (const auto* array = written.asArray()) {
        const JSONArray& other = *reread.asArray();
        if (array->size() != other.size()) {
            return false;
        }
        for (std::size_t i = 0; i < array->size(); ++i) {
            if (!readsBackAs((*array)[i], other[i])) {
                return false;
            }
        }
        return true;
    }
    if (const auto* dictionary = written.asDictionary()) {
        const JSONDictionary& other = *reread.asDictionary();
        if (dictionary->size() != other.size()) {
            return false;
        }
        for (auto it = dictionary->begin(), jt = other.begin(); it != dictionary->end(); ++it, ++jt) {
            if (it->first != jt->first || !readsBackAs(it->second, jt->second)) {
                return false;
            }
        }
        return true;
    }
    return written == reread;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The last byte also picks the settings, so every setting is explored.
    const unsigned settings = size == 0 ? 0U : data[size - 1];
    tomely::JSONDeserializer deserializer = tomely::JSONDeserializer::deserializer();
    deserializer.scanner().setStrictEscapeCodes((settings & 1U) != 0);
    if ((settings & 2U) != 0) {
        deserializer.setNullObject(std::nullopt);
    }
    if ((settings & 4U) != 0) {
        deserializer.setAllowedEncoding(tomely::TextEncoding::ISOLatin1);
    }

    // Element by element, an array decodes to the very elements it decodes to whole.
    JSONArray handed;
    const bool streamed = deserializer.deserializeArrayElements(
        input, [&handed](JSONValue&& element) { handed.push_back(std::move(element)); });
    const std::optional<JSONArray> whole = deserializer.deserializeAsArray(input);
    if (streamed != whole.has_value() || (whole && *whole != handed)) {
        std::abort();
    }

    tomely::Error error;
    const std::optional<JSONValue> value = deserializer.deserialize(input, &error);
    if (!value) {
        return 0;
    }
    const std::optional<std::string> text = tomely::JSONSerializer::serializer().serializeObject(*value);
    if (!text) {
        std::abort();  // every decoded value can be written
    }
    if (holdsZeroByte(*value)) {
        return 0;  // strings are written up to their first zero byte, so these cannot read back whole
    }
    const std::optional<JSONValue> reread = tomely::JSONDeserializer::deserializer().deserialize(*text);
    if (!reread || !readsBackAs(*value, *reread)) {
        std::abort();
    }
    return 0;
}
