// The four calls the uploader makes, under /api/author/shelf/upload/.
#include <algorithm>

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

const char* const kUploadPath = R"(/api/author/shelf/upload/(.*))";
const char* const kListPath = R"(/api/author/shelf/upload/list/?)";
constexpr std::string_view kManifestSegment = "manifest/";

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

// Which call a POST under the upload prefix is. Every GUID a client may send has a path of its
// own except "auth" and "manifest", whose part uploads share the path of the sign-in call and of
// a manifest without a GUID; the body tells those apart.
struct UploadCall {
    enum class Kind { SignInOrPart, Manifest, Part, Unknown };
    Kind kind = Kind::Unknown;
    std::string guid;
};

UploadCall uploadCallOf(std::string_view rest) {
    if (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    if (rest == "auth") {
        return {UploadCall::Kind::SignInOrPart, "auth"};
    }
    if (rest.substr(0, kManifestSegment.size()) == kManifestSegment) {
        return {UploadCall::Kind::Manifest, std::string(rest.substr(kManifestSegment.size()))};
    }
    if (rest.empty() || rest.find('/') != std::string_view::npos) {
        return {};
    }
    return {UploadCall::Kind::Part, std::string(rest)};
}

// A part upload's form holds its bytes as the file item "file"; a sign-in form holds no file.
bool isPartForm(const RequestBody& body) {
    return body.multipart && std::any_of(body.items.begin(), body.items.end(), [](const FormItem& item) {
               return item.name == "file" && !item.filename.empty();
           });
}

}  // namespace

void ShelfServer::routeApi() {
    server_->Post(kUploadPath, [this](const httplib::Request& request, httplib::Response& response,
                                      const httplib::ContentReader& reader) {
        const auto call = uploadCallOf(request.matches[1].str());
        switch (call.kind) {
            case UploadCall::Kind::SignInOrPart:
                return answerSignInOrPart(request, response, reader);
            case UploadCall::Kind::Manifest:
                return answerManifest(request, response, reader, call.guid);
            case UploadCall::Kind::Part:
                if (const auto account = sessionOf(request)) {
                    return answerPart(request, response, *account, call.guid,
                                      readBody(request, reader, kMaxPartRequestBytes));
                }
                return refuseAndClose(response, 403, kSignInFirst);
            case UploadCall::Kind::Unknown:
                return refuseAndClose(response, 404, "there is nothing at this address");
        }
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

void ShelfServer::answerSignInOrPart(const httplib::Request& request, httplib::Response& response,
                                     const httplib::ContentReader& reader) {
    // Only a signed-in client can be sending a part, which may be larger than any sign-in form.
    const bool multipart = request.is_multipart_form_data();
    const auto account = multipart ? sessionOf(request) : std::nullopt;
    auto body = readBody(request, reader, account ? kMaxPartRequestBytes : kMaxFormBodyBytes);
    if (multipart && (!body.complete || isPartForm(body))) {
        if (account) {
            return answerPart(request, response, *account, "auth", std::move(body));
        }
        return body.complete ? refuse(response, 403, kSignInFirst) : refuseAndClose(response, 403, kSignInFirst);
    }
    if (!body.complete) {
        return refuseAndClose(response, 413,
                              "the sign-in form is larger than " + std::to_string(kMaxFormBodyBytes) + " bytes");
    }
    const auto fields = formFields(body);
    const auto email = fields.find("email");
    const auto password = fields.find("password");
    if (email == fields.end() || password == fields.end()) {
        return refuse(response, 400, "the form needs \"email\" and \"password\"");
    }
    const auto signIn = throttledSignIn(request, email->second, password->second);
    if (signIn.retryAfter) {
        const std::string seconds = std::to_string(signIn.retryAfter->count());
        response.set_header("Retry-After", seconds);
        return refuse(response, 429, "too many failed sign-ins: try again in " + seconds + " seconds");
    }
    if (!signIn.account) {
        return refuse(response, 403, "wrong e-mail address or password");
    }
    noteRequestAccount(signIn.account->email);
    response.set_header("Set-Cookie", sessionCookie(shelf_.openSession(*signIn.account)));
    answerJson(response, {{"email", signIn.account->email}});
}

void ShelfServer::answerManifest(const httplib::Request& request, httplib::Response& response,
                                 const httplib::ContentReader& reader, const std::string& guid) {
    const auto account = sessionOf(request);
    if (!account) {
        return refuseAndClose(response, 403, kSignInFirst);
    }
    auto body = readBody(request, reader, kMaxManifestBytes);
    if (!body.complete) {
        return refuseAndClose(response, 413,
                              "the manifest is larger than " + std::to_string(kMaxManifestBytes) + " bytes");
    }
    if (body.multipart) {
        return refuse(response, 400, "the manifest is a JSON body, not a multipart form");
    }
    const auto outcome = shelf_.postManifest(*account, guid, std::move(body.bytes));
    if (outcome.status != 200) {
        return refuse(response, outcome.status, outcome.reason);
    }
    // Written name by name: a document of them all would cost several times their size.
    std::string names = "[";
    for (const auto& name : outcome.missing) {
        names += (names.size() > 1 ? "," : "") + nlohmann::json(name).dump();
    }
    response.status = 200;
    response.set_content(names + "]", "application/json");
}

void ShelfServer::answerPart(const httplib::Request& request, httplib::Response& response, const Account& account,
                             const std::string& guid, RequestBody body) {
    if (!body.complete) {
        return refuseAndClose(response, 413,
                              "a part upload may be at most " + std::to_string(kMaxPartRequestBytes) + " bytes long");
    }
    if (const auto fault = faults_.nextPartFault()) {
        switch (*fault) {
            case FaultKind::InternalError:
                return refuse(response, 500, "fault injected on purpose");
            case FaultKind::Unavailable:
                return refuse(response, 503, "fault injected on purpose");
            case FaultKind::Stall:
                faults_.stall();
                [[fallthrough]];
            case FaultKind::Drop:
                dropConnection(request);
                return refuse(response, 500, "connection dropped on purpose");
        }
    }
    if (!body.multipart) {
        return refuse(response, 400, "a part upload is a multipart/form-data body");
    }
    auto parse = parsePartUpload(body.items);
    if (!parse.upload) {
        return refuse(response, 400, parse.reason);
    }
    const std::string name = parse.upload->name;
    const auto outcome = shelf_.postPart(account, guid, std::move(*parse.upload));
    if (outcome.status != 200) {
        return refuse(response, outcome.status, outcome.reason);
    }
    nlohmann::json answer = {{"stored", name}, {"finished", outcome.version.has_value()}};
    if (outcome.version) {
        answer["download"] = versionJson(*outcome.version);
    }
    answerJson(response, answer);
}

}  // namespace tomely::shelf
