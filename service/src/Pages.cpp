#include "Pages.h"

#include <cstdio>

namespace tomely::shelf {

namespace {

std::string layout(std::string_view title, const std::string& content) {
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + htmlEscape(title) +
           " - Tomely</title>\n<style>body{font-family:sans-serif;max-width:46em;margin:2em auto;padding:0 1em}"
           "table{border-collapse:collapse;width:100%}td,th{text-align:left;padding:.25em .5em;border-bottom:1px "
           "solid #ddd}.message{color:#a00}label{display:block;margin:.5em 0}</style></head>\n<body><h1>" +
           htmlEscape(title) + "</h1>\n" + content + "</body></html>\n";
}

std::string messageBlock(std::string_view message) {
    return message.empty() ? std::string() : "<p class=\"message\">" + htmlEscape(message) + "</p>\n";
}

std::string sizeText(std::int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

}  // namespace

std::string htmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string registerPage(std::string_view message, std::string_view email) {
    return layout("Create an account",
                  messageBlock(message) +
                      "<form method=\"post\" action=\"/account/register/\">\n"
                      "<label>E-mail address <input type=\"email\" name=\"email\" required value=\"" +
                      htmlEscape(email) +
                      "\"></label>\n"
                      "<label>Password <input type=\"password\" name=\"password\" required minlength=\"8\"></label>\n"
                      "<label>Password again <input type=\"password\" name=\"confirm\" required></label>\n"
                      "<button type=\"submit\">Create account</button></form>\n"
                      "<p>Have an account already? <a href=\"/shelf/\">Sign in</a>.</p>\n");
}

std::string recoverPage() {
    return layout("Forgotten password",
                  "<p>This shelf runs on your own machine and sends no e-mail, so it cannot mail you a reset "
                  "link.</p>\n<p>Whoever runs it can give your account a new password by starting it with "
                  "<code>tomely-shelf --data DIR --user-file FILE</code>, where FILE holds the line "
                  "<code>you@example.com:NEW-PASSWORD</code>. Your books stay where they are.</p>\n<p><a "
                  "href=\"/shelf/\">Sign in</a> &middot; <a href=\"/account/register/\">Create "
                  "an account</a></p>\n");
}

std::string signInPage(std::string_view message, std::string_view email) {
    return layout("Your shelf", messageBlock(message) +
                                    "<form method=\"post\" action=\"/account/signin/\">\n"
                                    "<label>E-mail address <input type=\"email\" name=\"email\" required value=\"" +
                                    htmlEscape(email) +
                                    "\"></label>\n"
                                    "<label>Password <input type=\"password\" name=\"password\" required></label>\n"
                                    "<button type=\"submit\">Sign in</button></form>\n"
                                    "<p><a href=\"/account/recover/\">Forgotten your password?</a> &middot; "
                                    "<a href=\"/account/register/\">Create an account</a></p>\n");
}

std::string shelfPage(const Account& account, const std::vector<BookRecord>& books) {
    std::string content = "<p>Signed in as " + htmlEscape(account.email) +
                          ". <form method=\"post\" action=\"/account/signout/\" style=\"display:inline\">"
                          "<button type=\"submit\">Sign out</button></form></p>\n";
    if (books.empty()) {
        content += "<p>No books yet. Publish one with the Tomely Uploader.</p>\n";
    }
    for (const auto& book : books) {
        content += "<h2>" + htmlEscape(book.title) + "</h2>\n<p>Book " + std::to_string(book.id) + ", created " +
                   htmlEscape(book.created) + ", updated " + htmlEscape(book.updated) +
                   "</p>\n<table><tr><th>Version</th><th>Uploaded</th><th>GUID</th><th>Size</th><th></th></tr>\n";
        for (const auto& version : book.versions) {
            content += "<tr><td>" + std::to_string(version.number) + "</td><td>" + htmlEscape(version.created) +
                       "</td><td>" + htmlEscape(version.guid) + "</td><td>" + sizeText(version.size) +
                       "</td><td><a href=\"/shelf/download/" + std::to_string(version.id) +
                       "/\">Download</a></td></tr>\n";
        }
        content += "</table>\n";
    }
    return layout("Your shelf", content);
}

std::string messagePage(std::string_view title, std::string_view message) {
    return layout(title, messageBlock(message) + "<p><a href=\"/shelf/\">Your shelf</a></p>\n");
}

}  // namespace tomely::shelf
