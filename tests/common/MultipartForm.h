#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tomely::test {

// One item of a multipart/form-data body: a field, or a file part when `fileName` is set.
struct FormItem {
    std::string name;
    std::optional<std::string> fileName;
    std::string contentType;
    std::string content;
};

// The items of a body sent with the client's boundary, in order; empty when it is not one.
[[nodiscard]] std::vector<FormItem> parseMultipart(std::string_view body);
// The content of the first item named `name`, or nothing.
[[nodiscard]] std::optional<std::string> formValue(const std::vector<FormItem>& items, std::string_view name);
// Raw deflate data inflated as far as it goes (an unterminated stream is fine); nothing when it is
// not deflate data.
[[nodiscard]] std::optional<std::string> inflateRaw(std::string_view deflated);

}  // namespace tomely::test
