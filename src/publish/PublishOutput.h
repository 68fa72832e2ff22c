#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "publish/PublishExit.h"
#include "session/SessionEvents.h"
#include "session/SessionStage.h"

namespace tomely {

struct UploadProgress {
    std::int64_t sent = 0;
    std::int64_t total = 0;
    std::optional<double> bytesPerSecond;
    std::optional<double> secondsLeft;
};

struct PublishSummary {
    enum class Outcome { Published, NothingToSend, DryRun };
    Outcome outcome = Outcome::Published;
    // The parts and bytes fingerprinted and sent (both 0 unless published), and the target: the
    // book replaced, with the JSON type of the list, or the title of the new book.
    SessionSummary session;
};

// Where a run reports what it does. Main thread only.
class PublishOutput {
public:
    virtual ~PublishOutput() = default;
    // A stage begins; `text` says what it does, for a person.
    virtual void stage(SessionStage stage, const std::string& text) = 0;
    // Files done in a stage that counts them (opening, splitting, fingerprinting, compressing).
    virtual void count(SessionStage stage, std::uint64_t done, std::uint64_t total) = 0;
    virtual void upload(const UploadProgress& progress) = 0;
    // Something the run leaves aside and the author should know of; the run goes on.
    virtual void notice(const std::string& text) = 0;
    // A call failed for a reason that may pass and is made again after a wait; the run goes on.
    virtual void retrying(const SessionRetry& retry) = 0;
    // The end, exactly one of these. listed() ends a run of --list, with the shelf's books and
    // the GUID of the book it opened.
    virtual void succeeded(const PublishSummary& summary) = 0;
    virtual void listed(const BookListing& listing) = 0;
    virtual void failed(const PublishFailure& failure) = 0;
};

// For people: on a terminal one line per stage, rewritten in place as it progresses; elsewhere
// (a log, a pipe) plain lines, the upload's every tenth. Failures go to `errors`. Texts from the
// service, the book or the command line (titles, ids, GUIDs, file names, error texts) are shown
// with their control characters escaped as the JSON events escape them ("\u001b"), and bytes
// that are not UTF-8 as U+FFFD: they never reach the terminal as commands.
class TextOutput final : public PublishOutput {
public:
    TextOutput(std::FILE* out, std::FILE* errors, bool terminal) : out_(out), errors_(errors), terminal_(terminal) {}
    ~TextOutput() override;

    void stage(SessionStage stage, const std::string& text) override;
    void count(SessionStage stage, std::uint64_t done, std::uint64_t total) override;
    void upload(const UploadProgress& progress) override;
    void notice(const std::string& text) override;
    void retrying(const SessionRetry& retry) override;
    void succeeded(const PublishSummary& summary) override;
    // One line per book, its fields two spaces apart: its id ("-" when it has none that can name
    // it), its title, and "(uploaded from this book)" when one of its uploads carries the GUID.
    void listed(const BookListing& listing) override;
    void failed(const PublishFailure& failure) override;

    // "12.3 of 45.6 MB, 1.2 MB/s, 0:27 left" (decimal megabytes).
    [[nodiscard]] static std::string uploadText(const UploadProgress& progress);

private:
    // Replaces the terminal's current line, or prints a plain one.
    void show(const std::string& line);
    void endLine();

    std::FILE* out_;
    std::FILE* errors_;
    const bool terminal_;
    bool lineOpen_ = false;
    std::string stageText_;
    int lastTenth_ = -1;
};

// For scripts: one JSON object per line on `out`, flushed at once: {"event":"stage",...},
// {"event":"progress",...}, {"event":"notice","message":...}, and last
// {"event":"result","exit":N,...}. Each carries "elapsed_ms", the time since the output was made,
// so that a log shows where a run spent its time.
class JSONOutput final : public PublishOutput {
public:
    explicit JSONOutput(std::FILE* out) : out_(out), start_(std::chrono::steady_clock::now()) {}

    void stage(SessionStage stage, const std::string& text) override;
    void count(SessionStage stage, std::uint64_t done, std::uint64_t total) override;
    void upload(const UploadProgress& progress) override;
    void notice(const std::string& text) override;
    void retrying(const SessionRetry& retry) override;
    void succeeded(const PublishSummary& summary) override;
    // {"event":"result","exit":0,"outcome":"listed","guid":...,"books":[{"book_id":...,"title":...,
    // "from_this_book":true},...]}, each "book_id" as the list gave it, or null.
    void listed(const BookListing& listing) override;
    void failed(const PublishFailure& failure) override;

private:
    void emit(JSONDictionary event);

    std::FILE* out_;
    const std::chrono::steady_clock::time_point start_;
};

}  // namespace tomely
