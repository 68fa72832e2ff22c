#pragma once

#include "app/Controls.h"

namespace tomely {

// The controls of the prepare-book step's view ("ACPrepareBookViewController").
class PrepareBookView {
public:
    virtual ~PrepareBookView() = default;
    // The title of a new book; empty when the author wants to replace an existing one.
    [[nodiscard]] virtual TextField& generateBookField() = 0;
    // Says which choice Continue will take, as the author changes the title or the selection.
    [[nodiscard]] virtual TextControl& continueChoiceText() = 0;
    // Shown when neither a name is typed nor a book selected.
    [[nodiscard]] virtual TextControl& errorField() = 0;
    // Shown when the typed name clashes with the title of an existing book.
    [[nodiscard]] virtual TextControl& errorField2() = 0;
    // One row per existing book, showing its title; one row can be selected.
    [[nodiscard]] virtual TableControl& existingBooksTable() = 0;
};

}  // namespace tomely
