#include "ui/PrepareBookView.h"

#include <QLineEdit>
#include <QTableView>
#include <QVBoxLayout>

#include "steps/PrepareBookView.h"
#include "ui/QtControls.h"
#include "ui/QtTableControl.h"
#include "ui/StepViewStyle.h"

namespace tomely::ui {
namespace {

class QtPrepareBookView final : public QtView, public PrepareBookView {
public:
    QtPrepareBookView() : QtView(new QWidget, Ownership::Owned) {
        QWidget* root = widget();
        auto* layout = new QVBoxLayout(root);
        layout->addWidget(makeHeading(QStringLiteral("Replace a book, or publish a new one"), root));

        auto* tableLabel = new QLabel(QStringLiteral("&Replace one of the books on your shelf:"), root);
        table_ = new QTableView(root);
        table_->setObjectName(QStringLiteral("existingBooksTable"));
        table_->setAccessibleName(QStringLiteral("Books on your shelf"));
        tableLabel->setBuddy(table_);
        layout->addWidget(tableLabel);
        layout->addWidget(table_, 1);
        layout->addSpacing(8);

        auto* nameLabel = new QLabel(QStringLiteral("…or publish it as a &new book with the title:"), root);
        name_ = new QLineEdit(root);
        name_->setObjectName(QStringLiteral("generateBookField"));
        name_->setAccessibleName(QStringLiteral("Title of a new book"));
        nameLabel->setBuddy(name_);
        layout->addWidget(nameLabel);
        layout->addWidget(name_);

        error_ = makeErrorLabel(QStringLiteral("Please select a book to replace, or type a title for a new book."),
                                QStringLiteral("errorField"), root);
        clash_ = makeErrorLabel(QStringLiteral("A book with a title like this one is on your shelf already. Select "
                                               "it above to replace it, or type another title."),
                                QStringLiteral("errorField2"), root);
        layout->addWidget(error_);
        layout->addWidget(clash_);
        QWidget::setTabOrder(table_, name_);
        root->setFocusProxy(table_);

        generateBookField_.emplace(name_);
        errorField_.emplace(error_);
        errorField2_.emplace(clash_);
        existingBooksTable_.emplace(table_, QStringList{QStringLiteral("Title")});
    }

    TextControl& generateBookField() override { return *generateBookField_; }
    TextControl& errorField() override { return *errorField_; }
    TextControl& errorField2() override { return *errorField2_; }
    TableControl& existingBooksTable() override { return *existingBooksTable_; }

private:
    QTableView* table_;
    QLineEdit* name_;
    QLabel* error_;
    QLabel* clash_;
    std::optional<QtTextField> generateBookField_;
    std::optional<QtLabel> errorField_, errorField2_;
    std::optional<QtTableControl> existingBooksTable_;
};

}  // namespace

std::unique_ptr<View> makePrepareBookView() {
    return std::make_unique<QtPrepareBookView>();
}

}  // namespace tomely::ui
