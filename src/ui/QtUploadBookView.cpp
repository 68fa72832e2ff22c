#include "ui/QtUploadBookView.h"

#include <QVBoxLayout>

namespace tomely::ui {

QtUploadBookView::QtUploadBookView()
    : QtView(new QWidget, Ownership::Owned),
      bar_(new QProgressBar(widget())),
      line_(new QLabel(widget())),
      pace_(new QLabel(widget())),
      retryLine_(new QLabel(widget())),
      progressBar_(bar_),
      progressText_(line_),
      paceText_(pace_),
      retryText_(retryLine_) {
    QWidget* page = widget();
    auto* title = new QLabel(QStringLiteral("<h2>Publishing your book</h2>"), page);
    auto* explanation = new QLabel(QStringLiteral("The uploader checks your book, compares it with what your shelf "
                                                  "already holds and sends only what has changed. This needs "
                                                  "nothing from you; please keep the uploader open."),
                                   page);
    explanation->setWordWrap(true);
    title->setAccessibleName(QStringLiteral("Step title"));
    explanation->setAccessibleName(QStringLiteral("What happens now"));
    bar_->setAccessibleName(QStringLiteral("Upload progress"));
    line_->setAccessibleName(QStringLiteral("Upload status"));
    pace_->setAccessibleName(QStringLiteral("Upload rate and time left"));
    retryLine_->setAccessibleName(QStringLiteral("Connection status"));

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(title);
    layout->addWidget(explanation);
    layout->addSpacing(24);
    layout->addWidget(bar_);
    layout->addWidget(line_);
    layout->addWidget(pace_);
    layout->addWidget(retryLine_);
    layout->addStretch();
}

}  // namespace tomely::ui
