#pragma once

#include <optional>
#include <string>

#include "platform/Error.h"

namespace tomely {

// Where one upload works: a root directory that belongs to it alone, and inside it
//
//   <root>/working/   the extracted book, then its part files; the path text ends in "/", and
//                     manifest keys and part-file paths are built from exactly this text
//   <root>/deflated   the compressed form of each part, under its manifest key, kept by the
//                     fingerprinting for the upload
//   <root>/staging    request bodies on their way out, one upload at a time
//
// The whole root is deleted when the upload ends. A value: the paths are worked out once, where
// the area is made, and handed down to whatever reads or writes there.
class WorkArea {
public:
    // The app's: the application-support directory, made fresh. It is deleted with everything in
    // it, so that nothing of an earlier run mixes with the next book, and the Working directory is
    // made anew; a failure to delete or to make it is not reported (the extraction into it reports
    // what matters). None when no application-support directory can be found or created, with
    // `error` saying why. Any thread; slow when an earlier book was large.
    [[nodiscard]] static std::optional<WorkArea> freshInApplicationSupport(Error* error = nullptr);
    // Below `root`, a directory its caller made for this upload alone (the publisher's run
    // directory); the Working directory is made in it.
    [[nodiscard]] static WorkArea inDirectory(std::string root);

    // Without a trailing "/".
    [[nodiscard]] const std::string& root() const { return root_; }
    [[nodiscard]] const std::string& working() const { return working_; }
    [[nodiscard]] const std::string& deflated() const { return deflated_; }
    [[nodiscard]] const std::string& staging() const { return staging_; }

private:
    explicit WorkArea(std::string root);

    std::string root_;
    std::string working_;
    std::string deflated_;
    std::string staging_;
};

}  // namespace tomely
