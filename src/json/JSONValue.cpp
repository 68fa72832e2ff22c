#include "json/JSONValue.h"

namespace tomely {
namespace {

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

void describe(std::string& out, const JSONValue& value) {
    std::visit(Overloaded{
                   [&](std::nullptr_t) { out += "null"; },
                   [&](bool b) { out += b ? "true" : "false"; },
                   [&](std::int64_t n) { out += std::to_string(n); },
                   [&](std::uint64_t n) { out += std::to_string(n); },
                   [&](const Decimal& d) { out += d.toString(); },
                   [&](const std::string& s) { out += '"' + s + '"'; },
                   [&](const JSONArray& array) {
                       out += '[';
                       for (std::size_t i = 0; i < array.size(); ++i) {
                           out += i == 0 ? "" : ",";
                           describe(out, array[i]);
                       }
                       out += ']';
                   },
                   [&](const JSONDictionary& dictionary) {
                       out += '{';
                       bool first = true;
                       for (const auto& [key, member] : dictionary) {
                           out += first ? "\"" : ",\"";
                           first = false;
                           out += key + "\":";
                           describe(out, member);
                       }
                       out += '}';
                   },
                   [&](const std::shared_ptr<const JSONCustomObject>& object) { out += object->description(); },
               },
               value.storage());
}

}  // namespace

const JSONValue* JSONValue::find(std::string_view key) const {
    const JSONDictionary* dictionary = asDictionary();
    if (dictionary == nullptr) {
        return nullptr;
    }
    const auto it = dictionary->find(key);
    return it == dictionary->end() ? nullptr : &it->second;
}

std::string JSONValue::description() const {
    std::string out;
    describe(out, *this);
    return out;
}

}  // namespace tomely
