#include "ui/QtUploadDoneView.h"

#include <QGridLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "ui/FocusRing.h"

namespace tomely::ui {
namespace {

// A white tick on a green disc, drawn here so the page needs no image file.
QPixmap successPicture() {
    constexpr int kSide = 96;
    QPixmap picture(kSide, kSide);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(46, 160, 67));
    painter.drawEllipse(4, 4, kSide - 8, kSide - 8);
    QPainterPath tick;
    tick.moveTo(27, 50);
    tick.lineTo(42, 65);
    tick.lineTo(70, 34);
    painter.setPen(QPen(Qt::white, 9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(tick);
    return picture;
}

}  // namespace

QtUploadDoneView::QtUploadDoneView()
    : QtView(new QWidget, Ownership::Owned),
      button_(new QPushButton(QStringLiteral("Open my shelf"), widget())),
      actionButton_(button_),
      // Parented by the layout below, so that it comes after the texts it completes, for screen
      // readers too.
      receiptLabel_(new QLabel),
      receipt_(receiptLabel_) {
    QWidget* page = widget();
    auto* picture = new QLabel(page);
    picture->setPixmap(successPicture());
    picture->setAccessibleName(QStringLiteral("Upload succeeded"));
    auto* completeText = new QLabel(QStringLiteral("<h2>Your book is on your Tomely shelf</h2>"), page);
    completeText->setWordWrap(true);
    completeText->setAccessibleName(QStringLiteral("Completion message"));
    auto* actionText = new QLabel(QStringLiteral("Everything has been uploaded. Have a look at your shelf in the "
                                                 "browser, or press Close to finish."),
                                  page);
    actionText->setWordWrap(true);
    actionText->setAccessibleName(QStringLiteral("What to do next"));
    receiptLabel_->setWordWrap(true);
    receiptLabel_->setAccessibleName(QStringLiteral("What was sent"));
    button_->setAccessibleName(QStringLiteral("Open my shelf"));
    addFocusRing(button_);

    auto* layout = new QGridLayout(page);
    layout->addWidget(picture, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(completeText, 0, 1);
    layout->addWidget(actionText, 1, 1);
    layout->addWidget(receiptLabel_, 2, 1);
    layout->addWidget(button_, 3, 1, Qt::AlignLeft);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(4, 1);
}

}  // namespace tomely::ui
