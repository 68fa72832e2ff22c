#include "publish/PublishOutput.h"

#include <algorithm>
#include <cmath>

#include "json/JSONSerializer.h"
#include "platform/HexText.h"
#include "platform/UTF8.h"
#include "session/SessionTexts.h"
#include "shelf/ExistingBook.h"

namespace tomely {
namespace {

// The letter JSON writes after a backslash for a control character that has a short form; 0 for
// the others.
char shortEscape(unsigned char code) {
    switch (code) {
        case '\b':
            return 'b';
        case '\t':
            return 't';
        case '\n':
            return 'n';
        case '\f':
            return 'f';
        case '\r':
            return 'r';
        default:
            return 0;
    }
}

// `text` as it may reach a terminal: control characters (C0, DEL, and C1 in UTF-8) written out
// the way the JSON events write them ("\u001b", "\n"), and bytes that are not UTF-8 as U+FFFD,
// so that nothing a service or a book chose can move the cursor, retitle the window or recolour
// what follows.
std::string printable(std::string_view text) {
    const std::string repaired = utf8::repaired(text);
    std::string out;
    out.reserve(repaired.size());
    for (std::size_t i = 0; i < repaired.size(); ++i) {
        auto code = static_cast<unsigned char>(repaired[i]);
        // U+0080 to U+009F are C2 80 to C2 9F.
        const bool c1 = code == 0xC2 && i + 1 < repaired.size() && static_cast<unsigned char>(repaired[i + 1]) <= 0x9F;
        if (code >= 0x20 && code != 0x7F && !c1) {
            out.push_back(repaired[i]);
            continue;
        }
        if (c1) {
            code = static_cast<unsigned char>(repaired[++i]);
        }
        out += '\\';
        if (const char letter = shortEscape(code); letter != 0) {
            out += letter;
        } else {
            out += "u00";
            appendHexDigits(out, code, HexCase::Lower);
        }
    }
    return out;
}

bool isUploadOf(const ExistingBook& book, const std::string& bookGuid) {
    return std::find(book.downloadGuids.begin(), book.downloadGuids.end(), bookGuid) != book.downloadGuids.end();
}

std::string targetText(const PublishSummary& summary) {
    const UploadTarget target = summary.session.target.value_or(UploadTarget{});
    if (target.bookId) {
        return "book " + bookIdText(*target.bookId);
    }
    return "the new book \"" + target.bookName.value_or("") + "\"";
}

}  // namespace

// --- Text ------------------------------------------------------------------------------------

TextOutput::~TextOutput() {
    endLine();
}

std::string TextOutput::uploadText(const UploadProgress& progress) {
    std::string text = megabytesText(static_cast<double>(progress.sent)) + " of " +
                       megabytesText(static_cast<double>(progress.total)) + " MB";
    if (const std::string pace = paceText(progress.bytesPerSecond, progress.secondsLeft); !pace.empty()) {
        text += ", " + pace;
    }
    return text;
}

void TextOutput::show(const std::string& line) {
    if (terminal_) {
        // Back to the start of the line and clear it: a shorter text leaves nothing behind.
        std::fprintf(out_, "\r\033[K%s", printable(line).c_str());
        lineOpen_ = true;
    } else {
        std::fprintf(out_, "%s\n", printable(line).c_str());
    }
    std::fflush(out_);
}

void TextOutput::endLine() {
    if (lineOpen_) {
        std::fputc('\n', out_);
        std::fflush(out_);
        lineOpen_ = false;
    }
}

void TextOutput::stage(SessionStage /*stage*/, const std::string& text) {
    endLine();
    stageText_ = text;
    lastTenth_ = -1;
    show(text);
}

void TextOutput::count(SessionStage /*stage*/, std::uint64_t done, std::uint64_t total) {
    if (terminal_) {
        show(countText(stageText_, done, total));
    }
}

void TextOutput::upload(const UploadProgress& progress) {
    if (terminal_) {
        show(stageText_ + ": " + uploadText(progress));
        return;
    }
    const int tenth = progress.total > 0 ? static_cast<int>(progress.sent * 10 / progress.total) : 0;
    if (tenth > lastTenth_) {
        lastTenth_ = tenth;
        show(stageText_ + ": " + uploadText(progress));
    }
}

void TextOutput::succeeded(const PublishSummary& summary) {
    endLine();
    const SessionSummary& session = summary.session;
    const std::string book = std::to_string(session.parts) + " parts, " +
                             megabytesText(static_cast<double>(session.compressedBytes)) + " MB compressed";
    std::string line;
    switch (summary.outcome) {
        case PublishSummary::Outcome::DryRun:
            line = "Dry run: " + book + " would go to " + targetText(summary) + ". Nothing was published.";
            break;
        case PublishSummary::Outcome::NothingToSend:
            // The manifest alone makes a new book when the shelf holds every part already.
            line = session.target && session.target->bookId
                       ? "Nothing to send: the shelf holds all " + book + " of " + targetText(summary) + "."
                       : "Nothing to send: the shelf already held all " + book + ", and " + targetText(summary) +
                             " was created from them.";
            break;
        case PublishSummary::Outcome::Published:
            line = "Published to " + targetText(summary) + ": " + std::to_string(session.partsSent) + " of " +
                   std::to_string(session.parts) + " parts sent (" +
                   megabytesText(static_cast<double>(session.bytesSent)) + " MB).";
            break;
    }
    std::fprintf(out_, "%s\n", printable(line).c_str());
    std::fflush(out_);
}

void TextOutput::listed(const BookListing& listing) {
    endLine();
    for (const ExistingBook& book : listing.books.value_or(std::vector<ExistingBook>{})) {
        std::string line = (book.canBeReplaced() ? bookIdText(*book.bookId) : "-") + "  " + book.displayTitle();
        if (isUploadOf(book, listing.bookGuid)) {
            line += "  (uploaded from this book)";
        }
        std::fprintf(out_, "%s\n", printable(line).c_str());
    }
    std::fflush(out_);
}

void TextOutput::notice(const std::string& text) {
    endLine();
    std::fprintf(errors_, "tomely-publish: %s\n", printable(text).c_str());
    std::fflush(errors_);
}

void TextOutput::retrying(const SessionRetry& retry) {
    endLine();
    std::fprintf(out_, "%s\n", retryText(retry).c_str());
    std::fflush(out_);
}

void TextOutput::failed(const PublishFailure& failure) {
    endLine();
    std::fprintf(errors_, "tomely-publish: %s\n", printable(failure.message).c_str());
    std::fflush(errors_);
}

// --- JSON ------------------------------------------------------------------------------------

void JSONOutput::emit(JSONDictionary event) {
    event.emplace(
        "elapsed_ms",
        static_cast<std::int64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count()));
    // Every value put into an event serializes, so there is always a line.
    const std::string line = JSONSerializer::serializer().serializeObject(JSONValue(event)).value_or("{}");
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
}

void JSONOutput::stage(SessionStage stage, const std::string& text) {
    emit({{"event", "stage"}, {"stage", stageName(stage)}, {"message", text}});
}

void JSONOutput::count(SessionStage stage, std::uint64_t done, std::uint64_t total) {
    emit({{"event", "progress"}, {"stage", stageName(stage)}, {"done", done}, {"total", total}});
}

void JSONOutput::upload(const UploadProgress& progress) {
    JSONDictionary event{{"event", "progress"},
                         {"stage", stageName(SessionStage::Uploading)},
                         {"sent", progress.sent},
                         {"total", progress.total}};
    if (progress.bytesPerSecond) {
        event.emplace("bytes_per_second", static_cast<std::int64_t>(std::llround(*progress.bytesPerSecond)));
    }
    if (progress.secondsLeft) {
        event.emplace("seconds_left", static_cast<std::int64_t>(std::ceil(*progress.secondsLeft)));
    }
    emit(event);
}

void JSONOutput::notice(const std::string& text) {
    emit({{"event", "notice"}, {"message", text}});
}

void JSONOutput::retrying(const SessionRetry& retry) {
    emit({{"event", "retrying"},
          {"stage", stageName(retry.stage)},
          {"attempt", retry.attempt},
          {"attempts", retry.attempts},
          {"delay_ms", static_cast<std::int64_t>(retry.delay.count())},
          {"message", retryText(retry)}});
}

void JSONOutput::succeeded(const PublishSummary& summary) {
    const char* outcome = summary.outcome == PublishSummary::Outcome::DryRun          ? "dry-run"
                          : summary.outcome == PublishSummary::Outcome::NothingToSend ? "nothing-to-send"
                                                                                      : "published";
    JSONDictionary event{{"event", "result"},
                         {"exit", static_cast<int>(PublishExit::Published)},
                         {"outcome", outcome},
                         {"parts", summary.session.parts},
                         {"bytes", summary.session.compressedBytes},
                         {"parts_sent", summary.session.partsSent},
                         {"bytes_sent", summary.session.bytesSent}};
    const UploadTarget target = summary.session.target.value_or(UploadTarget{});
    if (target.bookId) {
        event.emplace("book_id", *target.bookId);
    }
    if (target.bookName) {
        event.emplace("title", *target.bookName);
    }
    emit(event);
}

void JSONOutput::listed(const BookListing& listing) {
    JSONArray books;
    for (const ExistingBook& book : listing.books.value_or(std::vector<ExistingBook>{})) {
        JSONDictionary entry;
        entry.emplace("book_id", book.bookId.value_or(JSONValue()));
        entry.emplace("title", book.displayTitle());
        entry.emplace("from_this_book", isUploadOf(book, listing.bookGuid));
        books.emplace_back(std::move(entry));
    }
    emit({{"event", "result"},
          {"exit", static_cast<int>(PublishExit::Published)},
          {"outcome", "listed"},
          {"guid", listing.bookGuid},
          {"books", std::move(books)}});
}

void JSONOutput::failed(const PublishFailure& failure) {
    emit({{"event", "result"},
          {"exit", static_cast<int>(failure.exit)},
          {"outcome", "failed"},
          {"message", failure.message}});
}

}  // namespace tomely
