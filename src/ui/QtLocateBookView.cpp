#include "ui/QtLocateBookView.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QMimeDatabase>
#include <QVBoxLayout>

#include "steps/LocateBookView.h"
#include "ui/FocusRing.h"
#include "ui/QtControls.h"
#include "ui/StepViewStyle.h"

namespace tomely::ui {
namespace {

constexpr int kIconSize = 64;

// The desktop's icon for a file: its MIME type's icon from the theme, else the generic one for
// its kind, else the style's file icon.
class QtFileIconControl final : public QtControl<FileIconControl> {
public:
    explicit QtFileIconControl(QLabel* label) : QtControl(label), label_(label) {}
    void showIconForFile(const std::string& path) override {
        const QString file = QString::fromStdString(path);
        const QMimeType type = QMimeDatabase().mimeTypeForFile(file);
        QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
        if (icon.isNull()) {
            icon = QFileIconProvider().icon(QFileInfo(file));
        }
        label_->setPixmap(icon.pixmap(kIconSize, kIconSize));
    }

private:
    QLabel* label_;
};

QLabel* makeIcon(QWidget* parent) {
    auto* icon = new QLabel(parent);
    icon->setObjectName(QStringLiteral("iconImage"));
    icon->setAccessibleName(QStringLiteral("Book icon"));
    icon->setFixedSize(kIconSize, kIconSize);
    icon->setAlignment(Qt::AlignCenter);
    return icon;
}

QLabel* makeFileName(QWidget* parent) {
    auto* name = new QLabel(QStringLiteral("No book chosen yet"), parent);
    name->setObjectName(QStringLiteral("filePathText"));
    name->setAccessibleName(QStringLiteral("Chosen book"));
    name->setWordWrap(true);
    name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return name;
}

QPushButton* makeFindButton(QWidget* parent) {
    auto* find = new QPushButton(QStringLiteral("&Choose Book…"), parent);
    find->setObjectName(QStringLiteral("findBookButton"));
    find->setAccessibleName(QStringLiteral("Choose book"));
    addFocusRing(find);
    return find;
}

class QtLocateBookView final : public QtView, public LocateBookView {
public:
    QtLocateBookView()
        : QtView(new QWidget, Ownership::Owned),
          box_(new QFrame(widget())),
          iconImage_(makeIcon(box_)),
          filePathText_(makeFileName(box_)),
          findBookButton_(makeFindButton(box_)),
          bookFieldError_(makeErrorLabel(QStringLiteral("Please choose a book file that exists."),
                                         QStringLiteral("bookFieldError"), findBookButton_.widget(), widget())),
          progressBar_(makeProgressBar(QStringLiteral("Opening the book"), widget())) {
        QWidget* root = widget();
        auto* layout = new QVBoxLayout(root);
        layout->addWidget(makeHeading(QStringLiteral("Choose your book"), root));
        layout->addWidget(makeExplanation(
            QStringLiteral("Pick the iBooks Author book (a file ending in .iba) that you want to publish."), root));
        layout->addSpacing(12);
        box_->setFrameShape(QFrame::StyledPanel);
        auto* row = new QHBoxLayout(box_);
        row->addWidget(iconImage_.widget());
        row->addWidget(filePathText_.widget(), 1);
        row->addWidget(findBookButton_.widget());
        layout->addWidget(box_);
        layout->addWidget(bookFieldError_.widget());
        layout->addWidget(progressBar_.widget());
        layout->addStretch();
        root->setFocusProxy(findBookButton_.widget());
    }

    FileIconControl& iconImage() override { return iconImage_; }
    TextControl& filePathText() override { return filePathText_; }
    TextControl& bookFieldError() override { return bookFieldError_; }
    ProgressIndicator& progressBar() override { return progressBar_; }
    Button& findBookButton() override { return findBookButton_; }

private:
    QFrame* box_;
    QtFileIconControl iconImage_;
    QtLabel filePathText_;
    QtButton findBookButton_;
    QtLabel bookFieldError_;
    QtProgressIndicator progressBar_;
};

}  // namespace

std::unique_ptr<View> makeLocateBookView() {
    return std::make_unique<QtLocateBookView>();
}

}  // namespace tomely::ui
