#include "ui/LocateBookView.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QMimeDatabase>
#include <QVBoxLayout>

#include "steps/LocateBookView.h"
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

class QtLocateBookView final : public QtView, public LocateBookView {
public:
    QtLocateBookView() : QtView(new QWidget, Ownership::Owned) {
        QWidget* root = widget();
        auto* layout = new QVBoxLayout(root);
        layout->addWidget(makeHeading(QStringLiteral("Choose your book"), root));
        layout->addWidget(makeExplanation(
            QStringLiteral("Pick the iBooks Author book (a file ending in .iba) that you want to publish."), root));
        layout->addSpacing(12);

        auto* box = new QFrame(root);
        box->setFrameShape(QFrame::StyledPanel);
        auto* row = new QHBoxLayout(box);
        icon_ = new QLabel(box);
        icon_->setObjectName(QStringLiteral("iconImage"));
        icon_->setAccessibleName(QStringLiteral("Book icon"));
        icon_->setFixedSize(kIconSize, kIconSize);
        icon_->setAlignment(Qt::AlignCenter);
        name_ = new QLabel(QStringLiteral("No book chosen yet"), box);
        name_->setObjectName(QStringLiteral("filePathText"));
        name_->setAccessibleName(QStringLiteral("Chosen book"));
        name_->setWordWrap(true);
        name_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        find_ = new QPushButton(QStringLiteral("&Choose Book…"), box);
        find_->setObjectName(QStringLiteral("findBookButton"));
        find_->setAccessibleName(QStringLiteral("Choose book"));
        row->addWidget(icon_);
        row->addWidget(name_, 1);
        row->addWidget(find_);
        layout->addWidget(box);

        error_ = makeErrorLabel(QStringLiteral("Please choose a book file that exists."),
                                QStringLiteral("bookFieldError"), root);
        layout->addWidget(error_);
        progress_ = new QProgressBar(root);
        progress_->setObjectName(QStringLiteral("progressBar"));
        progress_->setAccessibleName(QStringLiteral("Opening the book"));
        QSizePolicy policy = progress_->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        progress_->setSizePolicy(policy);
        progress_->hide();
        layout->addWidget(progress_);
        layout->addStretch();
        root->setFocusProxy(find_);

        iconImage_.emplace(icon_);
        filePathText_.emplace(name_);
        bookFieldError_.emplace(error_);
        progressBar_.emplace(progress_);
        findBookButton_.emplace(find_);
    }

    FileIconControl& iconImage() override { return *iconImage_; }
    TextControl& filePathText() override { return *filePathText_; }
    TextControl& bookFieldError() override { return *bookFieldError_; }
    ProgressIndicator& progressBar() override { return *progressBar_; }
    Button& findBookButton() override { return *findBookButton_; }

private:
    QLabel* icon_;
    QLabel* name_;
    QPushButton* find_;
    QLabel* error_;
    QProgressBar* progress_;
    std::optional<QtFileIconControl> iconImage_;
    std::optional<QtLabel> filePathText_, bookFieldError_;
    std::optional<QtProgressIndicator> progressBar_;
    std::optional<QtButton> findBookButton_;
};

}  // namespace

std::unique_ptr<View> makeLocateBookView() {
    return std::make_unique<QtLocateBookView>();
}

}  // namespace tomely::ui
