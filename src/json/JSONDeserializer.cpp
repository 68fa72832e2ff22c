#include "json/JSONDeserializer.h"

namespace tomely {
namespace {

// The scanner reads the caller's text where it lies; it lets go of it before the call returns,
// so that nothing can reach the text once the caller has freed it.
class BorrowedText {
public:
    explicit BorrowedText(JSONScanner& scanner) : scanner_(scanner) {}
    ~BorrowedText() { scanner_.setDataWithoutCopy({}); }
    BorrowedText(const BorrowedText&) = delete;
    BorrowedText& operator=(const BorrowedText&) = delete;

private:
    JSONScanner& scanner_;
};

}  // namespace

JSONScanner& JSONDeserializer::scanner() {
    if (!scanner_) {
        scanner_ = std::make_unique<JSONScanner>();
    }
    return *scanner_;
}

bool JSONDeserializer::prepare(std::string_view data, Error* error) {
    if (data.empty()) {
        Error empty;
        empty.domain = std::string(kJSONDeserializerErrorDomain);
        empty.code = kJSONDeserializerEmptyInputError;
        report(error, std::move(empty));
        return false;
    }
    return scanner().setData(data, error);
}

std::optional<JSONValue> JSONDeserializer::deserialize(std::string_view data, Error* error) {
    const BorrowedText borrowed(scanner());
    if (!prepare(data, error)) {
        return std::nullopt;
    }
    std::optional<JSONValue> value;
    if (!scanner().scanJSONObject(value, error)) {
        return std::nullopt;
    }
    return value;
}

std::optional<JSONDictionary> JSONDeserializer::deserializeAsDictionary(std::string_view data, Error* error) {
    const BorrowedText borrowed(scanner());
    if (!prepare(data, error)) {
        return std::nullopt;
    }
    return scanner().scanJSONDictionary(error);
}

std::optional<JSONArray> JSONDeserializer::deserializeAsArray(std::string_view data, Error* error) {
    const BorrowedText borrowed(scanner());
    if (!prepare(data, error)) {
        return std::nullopt;
    }
    return scanner().scanJSONArray(error);
}

bool JSONDeserializer::deserializeArrayElements(std::string_view data, const std::function<void(JSONValue&&)>& element,
                                                Error* error) {
    const BorrowedText borrowed(scanner());
    return prepare(data, error) && scanner().scanJSONArrayElements(element, error);
}

}  // namespace tomely
