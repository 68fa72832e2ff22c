// The four calls the uploader makes, under /api/author/shelf/upload/.
#include <nlohmann/json.hpp>

#include "ConnectionClose.h"
#include "FormFields.h"
#include "HttpBodies.h"
#include "Manifest.h"
#include "RequestHead.h"
#include "RequestLog.h"
#include "Router.h"
#include "ShelfServer.h"

namespace tomely::shelf {

namespace {

constexpr const char* kSignInFirst = "sign in first: this call needs the session cookie of the authentication call";

const char* const kAuthPath = R"(/api/author/shelf/upload/auth/?)";
const char* const kListPath = R"(/api/author/shelf/upload/list/?)";
const char* const kManifestPath = R"(/api/author/shelf/upload/manifest/([^/]*)/?)";
const char* const kPartPath = R"(/api/author/shelf/upload/([^/]+)/?)";

// A refusal given before the body was read to its end: the rest of it is still on the connection.
void refuseAndClose(httplib::Response& response, int status, const std::string& reason) {
    refuse(response, status, reason);
    closeAfterAnswer(response);
}

void answerJson(httplib::Response& response, const nlohmann::json& json) {
    response.status = 200;
    response.set_content(json.dump(), "application/json");
}

nlohmann::json versionJson(const VersionRecord& version) {
    return {{"guid", version.guid},
            {"version", version.number},
            {"created", version.created},
            {"size", version.size},
            {"url", "/shelf/download/" + std::to_string(version.id) + "/"}};
}

nlohmann::json bookJson(const BookRecord& book) {
    nlohmann::json downloads = nlohmann::json::array();
    for (const auto& version : book.versions) {
        downloads.push_back(versionJson(version));
    }
    return {{"book_id", book.id},
            {"title", book.title},
            {"created", book.created},
            {"updated", book.updated},
            {"downloads", std::move(downloads)}};
}

// Email and password from a url-encoded or a multipart form.
std::map<std::string, std::string> formFields(const RequestBody& body) {
    if (!body.multipart) {
        return parseUrlEncoded(body.bytes);
    }
    std::map<std::string, std::string> fields;
    for (const auto& item : body.items) {
        fields.emplace(item.name, item.content);
    }
    return fields;
}

}  // namespace

void ShelfServer::routeApi() {
    // The content-reading handlers are matched before the others, and the part upload pattern
    // would take "auth" for a GUID: so the authentication call reads its own body too, and is
    // registered first.
    server_->Post(kAuthPath, [this](const httplib::Request& request, httplib::Response& response,
                                    const httplib::ContentReader& reader) {
        const auto body = readBody(request, reader, kMaxFormBodyBytes);
        if (!body.complete) {
            refuseAndClose(response, 413,
                           "the sign-in form is larger than " + std::to_string(kMaxFormBodyBytes) + " bytes");
            return;
        }
        const auto fields = formFields(body);
        const auto email = fields.find("email");
        const auto password = fields.find("password");
        if (email == fields.end() || password == fields.end()) {
            refuse(response, 400, "the form needs \"email\" and \"password\"");
            return;
        }
        const auto signIn = throttledSignIn(request, email->second, password->second);
        if (signIn.retryAfter) {
            const std::string seconds = std::to_string(signIn.retryAfter->count());
            response.set_header("Retry-After", seconds);
            refuse(response, 429, "too many failed sign-ins: try again in " + seconds + " seconds");
            return;
        }
        const auto& account = signIn.account;
        if (!account) {
            refuse(response, 403, "wrong e-mail address or password");
            return;
        }
        noteRequestAccount(account->email);
        response.set_header("Set-Cookie", sessionCookie(shelf_.openSession(*account)));
        answerJson(response, {{"email", account->email}});
    });

    server_->Post(kManifestPath, [this](const httplib::Request& request, httplib::Response& response,
                                        const httplib::ContentReader& reader) {
        const auto account = sessionOf(request);
        if (!account) {
            refuseAndClose(response, 403, kSignInFirst);
            return;
        }
        const auto body = readBody(request, reader, kMaxManifestBytes);
        if (!body.complete) {
            refuseAndClose(response, 413,
                           "the manifest is larger than " + std::to_string(kMaxManifestBytes) + " bytes");
            return;
        }
        if (body.multipart) {
            refuse(response, 400, "the manifest is a JSON body, not a multipart form");
            return;
        }
        const auto outcome = shelf_.postManifest(*account, request.matches[1], body.bytes);
        if (outcome.status != 200) {
            refuse(response, outcome.status, outcome.reason);
            return;
        }
        answerJson(response, outcome.missing);
    });

    server_->Post(kPartPath, [this](const httplib::Request& request, httplib::Response& response,
                                    const httplib::ContentReader& reader) {
        const auto account = sessionOf(request);
        if (!account) {
            refuseAndClose(response, 403, kSignInFirst);
            return;
        }
        auto body = readBody(request, reader, kMaxPartRequestBytes);
        if (!body.complete) {
            refuseAndClose(response, 413,
                           "a part upload may be at most " + std::to_string(kMaxPartRequestBytes) + " bytes long");
            return;
        }
        if (faults_.nextPartFails()) {
            switch (faults_.kind()) {
                case FaultKind::InternalError:
                    refuse(response, 500, "fault injected on purpose");
                    return;
                case FaultKind::Unavailable:
                    refuse(response, 503, "fault injected on purpose");
                    return;
                case FaultKind::Stall:
                    faults_.stall();
                    [[fallthrough]];
                case FaultKind::Drop:
                    dropConnection(request);
                    refuse(response, 500, "connection dropped on purpose");
                    return;
            }
        }
        if (!body.multipart) {
            refuse(response, 400, "a part upload is a multipart/form-data body");
            return;
        }
        auto parse = parsePartUpload(body.items);
        if (!parse.upload) {
            refuse(response, 400, parse.reason);
            return;
        }
        const std::string name = parse.upload->name;
        const auto outcome = shelf_.postPart(*account, request.matches[1], std::move(*parse.upload));
        if (outcome.status != 200) {
            refuse(response, outcome.status, outcome.reason);
            return;
        }
        nlohmann::json answer = {{"stored", name}, {"finished", outcome.version.has_value()}};
        if (outcome.version) {
            answer["download"] = versionJson(*outcome.version);
        }
        answerJson(response, answer);
    });

    server_->Get(kListPath, [this](const httplib::Request& request, httplib::Response& response) {
        const auto account = sessionOf(request);
        if (!account) {
            refuse(response, 403, kSignInFirst);
            return;
        }
        nlohmann::json list = nlohmann::json::array();
        for (const auto& book : shelf_.books(*account)) {
            list.push_back(bookJson(book));
        }
        answerJson(response, list);
    });
}

}  // namespace tomely::shelf
