#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "publish/PublishExit.h"
#include "session/SessionEvents.h"
#include "shelf/UploadTarget.h"

namespace tomely {

// The target of a run, by the wizard's rules: `replaceBookId` names a book of the list (whose
// id then goes out with the list's JSON type), `newTitle` a new book whose slug must not clash,
// and with neither the book whose uploads carry the listing's GUID (its pre-selected row) is
// replaced. A refusal ends the run with PublishExit::Usage.
[[nodiscard]] std::variant<UploadTarget, PublishFailure> resolvePublishTarget(
    const std::optional<std::string>& replaceBookId, const std::optional<std::string>& newTitle,
    const BookListing& listing);

// What a run says of the books of the list it ignores, since their "book_id" cannot name them
// (ExistingBook::canBeReplaced): none when there are none.
[[nodiscard]] std::optional<std::string> unreplaceableBooksNotice(const std::vector<ExistingBook>& books);

}  // namespace tomely
