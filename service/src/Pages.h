#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ShelfStore.h"

// The HTML pages a browser sees. Every text that came from a user is escaped. Pure.
namespace tomely::shelf {

[[nodiscard]] std::string htmlEscape(std::string_view text);

// The registration form, with a message above it after a failed attempt.
[[nodiscard]] std::string registerPage(std::string_view message, std::string_view email);
// How to get a new password on a shelf that sends no mail.
[[nodiscard]] std::string recoverPage();
// The sign-in form that /shelf/ shows to a browser without a session.
[[nodiscard]] std::string signInPage(std::string_view message, std::string_view email);
// The signed-in author's books, each with its versions and a download link per version.
[[nodiscard]] std::string shelfPage(const Account& account, const std::vector<BookRecord>& books);
// A page for a refusal a browser ran into.
[[nodiscard]] std::string messagePage(std::string_view title, std::string_view message);

}  // namespace tomely::shelf
