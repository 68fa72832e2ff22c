#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "json/Decimal.h"

namespace tomely {

class JSONValue;

// An ordered list of values.
using JSONArray = std::vector<JSONValue>;

// String keys to values, enumerated in the keys' byte order. JSON objects carry no meaningful
// order, and a sorted dictionary gives the same text for the same members however they were
// inserted (the manifest is reproducible and testable byte for byte), finds a key in log time,
// and makes "a later duplicate key replaces the earlier one" a plain insert_or_assign. std::less<>
// lets callers look keys up with a string_view.
using JSONDictionary = std::map<std::string, JSONValue, std::less<>>;

// A value of the caller's own type placed in a JSONValue for JSONSerializer to write. The decoder
// never makes one. Implementations must be immutable: JSONValue shares them between copies.
class JSONCustomObject {
public:
    virtual ~JSONCustomObject() = default;
    // The name of the value's type, as the serializer's "cannot serialize" error gives it.
    [[nodiscard]] virtual std::string typeName() const = 0;
    // Text describing the value for error messages.
    [[nodiscard]] virtual std::string description() const = 0;
    // JSON text for the value, which the serializer inserts unchanged; nullopt when the type has
    // no JSON form and so cannot be written.
    [[nodiscard]] virtual std::optional<std::string> JSONDataRepresentation() const = 0;
};

// One JSON value: null, a boolean, one of three number kinds (signed 64-bit, unsigned 64-bit,
// decimal), a string of UTF-8 bytes, an array, a dictionary, or a custom object. A plain value
// type: copies are deep (custom objects are shared, being immutable).
class JSONValue {
public:
    enum class Kind {
        Null,
        Boolean,
        SignedInteger,
        UnsignedInteger,
        Decimal,
        String,
        Array,
        Dictionary,
        Custom,
    };

    // Alternatives in the order of Kind.
    using Storage = std::variant<std::nullptr_t, bool, std::int64_t, std::uint64_t, Decimal, std::string, JSONArray,
                                 JSONDictionary, std::shared_ptr<const JSONCustomObject>>;

    JSONValue() noexcept : storage_(nullptr) {}
    JSONValue(std::nullptr_t) noexcept : storage_(nullptr) {}
    JSONValue(bool value) noexcept : storage_(value) {}
    template <std::signed_integral T>
    JSONValue(T value) noexcept : storage_(static_cast<std::int64_t>(value)) {}
    template <std::unsigned_integral T>
    requires(!std::same_as<T, bool>) JSONValue(T value)
    noexcept : storage_(static_cast<std::uint64_t>(value)) {}
    JSONValue(Decimal value) noexcept : storage_(value) {}
    JSONValue(std::string value) noexcept : storage_(std::move(value)) {}
    JSONValue(std::string_view value) : storage_(std::string(value)) {}
    JSONValue(const char* value) : storage_(std::string(value)) {}
    // Any other pointer would silently become a boolean.
    JSONValue(const void*) = delete;
    JSONValue(JSONArray value) noexcept : storage_(std::move(value)) {}
    JSONValue(JSONDictionary value) noexcept : storage_(std::move(value)) {}
    // An empty pointer makes a null value, so a custom value always has an object.
    JSONValue(std::shared_ptr<const JSONCustomObject> value) noexcept
        : storage_(value ? Storage(std::move(value)) : Storage(nullptr)) {}

    [[nodiscard]] Kind kind() const { return static_cast<Kind>(storage_.index()); }
    [[nodiscard]] bool isNull() const { return kind() == Kind::Null; }
    [[nodiscard]] const Storage& storage() const { return storage_; }

    // The value as a T (one of Storage's alternatives), or nullptr when it holds another kind.
    template <class T>
    [[nodiscard]] const T* getIf() const {
        return std::get_if<T>(&storage_);
    }
    template <class T>
    [[nodiscard]] T* getIf() {
        return std::get_if<T>(&storage_);
    }
    [[nodiscard]] const std::string* asString() const { return getIf<std::string>(); }
    [[nodiscard]] const JSONArray* asArray() const { return getIf<JSONArray>(); }
    [[nodiscard]] const JSONDictionary* asDictionary() const { return getIf<JSONDictionary>(); }

    // The member under `key` when this is a dictionary that has one, else nullptr.
    [[nodiscard]] const JSONValue* find(std::string_view key) const;

    // Compact JSON-like text for messages and test output; custom objects show their description.
    [[nodiscard]] std::string description() const;

    // Same kind and same contents; custom objects are equal when they are the same object.
    friend bool operator==(const JSONValue&, const JSONValue&) = default;

private:
    Storage storage_;
};

}  // namespace tomely
