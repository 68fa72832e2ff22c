// The pages a browser sees: registration, recovery, sign-in and the author's shelf.
#include <algorithm>
#include <fstream>
#include <memory>

#include "FormFields.h"
#include "HttpBodies.h"
#include "Names.h"
#include "Pages.h"
#include "Router.h"
#include "ShelfServer.h"

namespace tomely::shelf {

namespace {

constexpr std::size_t kMinPasswordLength = 8;
constexpr std::size_t kDownloadChunk = 256U * 1024U;

void answerPage(httplib::Response& response, int status, const std::string& html) {
    response.status = status;
    response.set_content(html, "text/html; charset=utf-8");
}

void seeOther(httplib::Response& response, const std::string& location) {
    response.status = 303;
    response.set_header("Location", location);
}

}  // namespace

void ShelfServer::routePages() {
    server_->Get("/", [](const httplib::Request&, httplib::Response& response) { seeOther(response, "/shelf/"); });

    server_->Get(R"(/account/register/?)", [](const httplib::Request&, httplib::Response& response) {
        answerPage(response, 200, registerPage({}, {}));
    });

    server_->Post(R"(/account/register/?)", [this](const httplib::Request& request, httplib::Response& response) {
        const std::string email = request.get_param_value("email");
        const std::string password = request.get_param_value("password");
        if (!isPlausibleEmail(email)) {
            answerPage(response, 400, registerPage("Please give an e-mail address such as you@example.com.", email));
            return;
        }
        if (password.size() < kMinPasswordLength) {
            answerPage(response, 400, registerPage("Please choose a password of at least 8 characters.", email));
            return;
        }
        if (password != request.get_param_value("confirm")) {
            answerPage(response, 400, registerPage("The two passwords differ.", email));
            return;
        }
        if (!shelf_.registerAccount(email, password)) {
            answerPage(response, 409, registerPage("There is an account for this e-mail address already.", email));
            return;
        }
        const auto account = shelf_.signIn(email, password);
        if (account) {
            response.set_header("Set-Cookie", sessionCookie(shelf_.openSession(*account)));
        }
        seeOther(response, "/shelf/");
    });

    server_->Get(R"(/account/recover/?)", [](const httplib::Request&, httplib::Response& response) {
        answerPage(response, 200, recoverPage());
    });

    server_->Post(R"(/account/signin/?)", [this](const httplib::Request& request, httplib::Response& response) {
        const std::string email = request.get_param_value("email");
        const auto signIn = throttledSignIn(request, email, request.get_param_value("password"));
        if (signIn.retryAfter) {
            const std::string seconds = std::to_string(signIn.retryAfter->count());
            response.set_header("Retry-After", seconds);
            answerPage(response, 429,
                       signInPage("Too many failed sign-ins. Please try again in " + seconds + " seconds.", email));
            return;
        }
        const auto& account = signIn.account;
        if (!account) {
            answerPage(response, 403, signInPage("Wrong e-mail address or password.", email));
            return;
        }
        response.set_header("Set-Cookie", sessionCookie(shelf_.openSession(*account)));
        seeOther(response, "/shelf/");
    });

    server_->Post(R"(/account/signout/?)", [this](const httplib::Request& request, httplib::Response& response) {
        for (std::size_t i = 0; i < request.get_header_value_count("Cookie"); ++i) {
            if (auto token = cookieValue(request.get_header_value("Cookie", i), kSessionCookieName)) {
                shelf_.closeSession(*token);
            }
        }
        response.set_header("Set-Cookie", sessionCookie("") + "; Max-Age=0");
        seeOther(response, "/shelf/");
    });

    server_->Get(R"(/shelf/?)", [this](const httplib::Request& request, httplib::Response& response) {
        const auto account = sessionOf(request);
        if (!account) {
            answerPage(response, 200, signInPage({}, {}));
            return;
        }
        answerPage(response, 200, shelfPage(*account, shelf_.books(*account)));
    });

    server_->Get(
        R"(/shelf/download/([0-9]{1,18})/?)", [this](const httplib::Request& request, httplib::Response& response) {
            const auto account = sessionOf(request);
            if (!account) {
                answerPage(response, 403, signInPage("Sign in to download your books.", {}));
                return;
            }
            const auto download =
                shelf_.download(*account, static_cast<std::int64_t>(*parseDecimal(request.matches[1].str())));
            auto file = download ? std::make_shared<std::ifstream>(download->path, std::ios::binary) : nullptr;
            if (!file || !*file) {
                answerPage(response, 404, messagePage("Not found", "There is no such book version on your shelf."));
                return;
            }
            const auto size = static_cast<std::size_t>(std::filesystem::file_size(download->path));
            response.set_header("Content-Disposition", "attachment; filename=\"" + download->fileName + "\"");
            response.set_content_provider(
                size, "application/zip", [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    std::string chunk(std::min(length, kDownloadChunk), '\0');
                    file->seekg(static_cast<std::streamoff>(offset));
                    file->read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
                    return file->gcount() > 0 && sink.write(chunk.data(), static_cast<std::size_t>(file->gcount()));
                });
        });
}

}  // namespace tomely::shelf
