#include "ui/QtPrepareBookView.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QTableView>
#include <QVBoxLayout>

#include "steps/PrepareBookView.h"
#include "ui/QtControls.h"
#include "ui/QtTableControl.h"
#include "ui/ReadableColors.h"
#include "ui/StepViewStyle.h"

namespace tomely::ui {
namespace {

QTableView* makeTable(QWidget* parent) {
    auto* table = new QTableView(parent);
    table->setObjectName(QStringLiteral("existingBooksTable"));
    table->setAccessibleName(QStringLiteral("Books on your shelf"));
    return table;
}

// Said inside the table while it has no rows, so an empty shelf does not look like a fault.
void addEmptyShelfHint(QTableView* table) {
    auto* hint = new QLabel(QStringLiteral("There are no books on your shelf yet."), table->viewport());
    hint->setAlignment(Qt::AlignCenter);
    hint->setForegroundRole(QPalette::PlaceholderText);
    followPalette(hint, QPalette::PlaceholderText, [](const QPalette& palette) {
        return withContrast(palette.color(QPalette::PlaceholderText), palette.color(QPalette::Base));
    });
    auto* layout = new QVBoxLayout(table->viewport());
    layout->addWidget(hint);
    QObject::connect(table->model(), &QAbstractItemModel::modelReset, hint,
                     [hint, table] { hint->setVisible(table->model()->rowCount() == 0); });
}

QLineEdit* makeNameField(QWidget* parent) {
    auto* name = new QLineEdit(parent);
    name->setObjectName(QStringLiteral("generateBookField"));
    name->setAccessibleName(QStringLiteral("Title of a new book"));
    return name;
}

QLabel* makeChoiceText(QWidget* parent) {
    auto* text = new QLabel(parent);
    text->setObjectName(QStringLiteral("continueChoiceText"));
    text->setAccessibleName(QStringLiteral("What Continue will do"));
    text->setWordWrap(true);
    return text;
}

class QtPrepareBookView final : public QtView, public PrepareBookView {
public:
    QtPrepareBookView()
        : QtView(new QWidget, Ownership::Owned),
          existingBooksTable_(makeTable(widget()), QStringList{QStringLiteral("Title")}),
          generateBookField_(makeNameField(widget())),
          continueChoiceText_(makeChoiceText(widget())),
          errorField_(makeErrorLabel(QStringLiteral("Please select a book to replace, or type a title for a new book."),
                                     QStringLiteral("errorField"), existingBooksTable_.widget(), widget())),
          errorField2_(makeErrorLabel(QStringLiteral("A book with a title like this one is on your shelf already. "
                                                     "Select it above to replace it, or type another title."),
                                      QStringLiteral("errorField2"), generateBookField_.widget(), widget())) {
        QWidget* root = widget();
        QWidget* table = existingBooksTable_.widget();
        QWidget* name = generateBookField_.widget();
        auto* layout = new QVBoxLayout(root);
        layout->addWidget(makeHeading(QStringLiteral("Replace a book, or publish a new one"), root));
        layout->addWidget(makeFieldLabel(QStringLiteral("&Replace one of the books on your shelf:"), table));
        layout->addWidget(table, 1);
        layout->addSpacing(8);
        layout->addWidget(makeFieldLabel(QStringLiteral("…or publish it as a &new book with the title:"), name));
        layout->addWidget(name);
        layout->addWidget(continueChoiceText_.widget());
        // Continue shows one of the two at most: they share one place.
        auto* errors = new QGridLayout;
        errors->addWidget(errorField_.widget(), 0, 0, Qt::AlignTop);
        errors->addWidget(errorField2_.widget(), 0, 0, Qt::AlignTop);
        layout->addLayout(errors);
        addEmptyShelfHint(qobject_cast<QTableView*>(table));
        QWidget::setTabOrder(table, name);
        root->setFocusProxy(table);
    }

    TextField& generateBookField() override { return generateBookField_; }
    TextControl& continueChoiceText() override { return continueChoiceText_; }
    TextControl& errorField() override { return errorField_; }
    TextControl& errorField2() override { return errorField2_; }
    TableControl& existingBooksTable() override { return existingBooksTable_; }

private:
    QtTableControl existingBooksTable_;
    QtTextField generateBookField_;
    QtLabel continueChoiceText_, errorField_, errorField2_;
};

}  // namespace

std::unique_ptr<View> makePrepareBookView() {
    return std::make_unique<QtPrepareBookView>();
}

}  // namespace tomely::ui
