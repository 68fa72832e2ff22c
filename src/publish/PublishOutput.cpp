#include "publish/PublishOutput.h"

#include <cmath>

#include "json/JSONSerializer.h"
#include "session/SessionTexts.h"
#include "shelf/ExistingBook.h"

namespace tomely {
namespace {

std::string megabytes(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", bytes / 1'000'000.0);
    return text;
}

std::string duration(double seconds) {
    const auto whole = static_cast<long long>(std::ceil(seconds));
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
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
    std::string text =
        megabytes(static_cast<double>(progress.sent)) + " of " + megabytes(static_cast<double>(progress.total)) + " MB";
    if (progress.bytesPerSecond) {
        text += ", " + megabytes(*progress.bytesPerSecond) + " MB/s";
    }
    if (progress.secondsLeft) {
        text += ", " + duration(*progress.secondsLeft) + " left";
    }
    return text;
}

void TextOutput::show(const std::string& line) {
    if (terminal_) {
        // Back to the start of the line and clear it: a shorter text leaves nothing behind.
        std::fprintf(out_, "\r\033[K%s", line.c_str());
        lineOpen_ = true;
    } else {
        std::fprintf(out_, "%s\n", line.c_str());
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
                             megabytes(static_cast<double>(session.compressedBytes)) + " MB compressed";
    switch (summary.outcome) {
        case PublishSummary::Outcome::DryRun:
            std::fprintf(out_, "Dry run: %s would go to %s. Nothing was published.\n", book.c_str(),
                         targetText(summary).c_str());
            break;
        case PublishSummary::Outcome::NothingToSend:
            std::fprintf(out_, "Nothing to send: the shelf holds all %s of %s.\n", book.c_str(),
                         targetText(summary).c_str());
            break;
        case PublishSummary::Outcome::Published:
            std::fprintf(out_, "Published to %s: %llu of %llu parts sent (%s MB).\n", targetText(summary).c_str(),
                         static_cast<unsigned long long>(session.partsSent),
                         static_cast<unsigned long long>(session.parts),
                         megabytes(static_cast<double>(session.bytesSent)).c_str());
            break;
    }
    std::fflush(out_);
}

void TextOutput::failed(const PublishFailure& failure) {
    endLine();
    std::fprintf(errors_, "tomely-publish: %s\n", failure.message.c_str());
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

void JSONOutput::failed(const PublishFailure& failure) {
    emit({{"event", "result"},
          {"exit", static_cast<int>(failure.exit)},
          {"outcome", "failed"},
          {"message", failure.message}});
}

}  // namespace tomely
