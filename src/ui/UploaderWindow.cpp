#include "ui/UploaderWindow.h"

#include <QShortcut>

namespace tomely::ui {
namespace {

QLabel* makeStepLabel(QWidget* parent, const char* text, int index) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setGeometry(20, 40 + index * 36, 150, 28);
    return label;
}

}  // namespace

UploaderWindow::UploaderWindow()
    : window_(new QWidget, QtView::Ownership::Owned),
      stepLabels_{
          makeStepLabel(window_.widget(), "1. Sign in", 0), makeStepLabel(window_.widget(), "2. Locate book", 1),
          makeStepLabel(window_.widget(), "3. Choose target", 2), makeStepLabel(window_.widget(), "4. Upload", 3)},
      continueButton_(new QPushButton(QStringLiteral("Continue"), window_.widget())),
      cancelButton_(new QPushButton(QStringLiteral("Cancel"), window_.widget())),
      spinner_(new QProgressBar(window_.widget())),
      workingLabel_(new QLabel(window_.widget())),
      stepOne_(stepLabels_[0]),
      stepTwo_(stepLabels_[1]),
      stepThree_(stepLabels_[2]),
      stepFour_(stepLabels_[3]),
      continue_(continueButton_),
      cancel_(cancelButton_),
      workingSpinner_(spinner_),
      workingText_(workingLabel_) {
    QWidget* window = window_.widget();
    window->setWindowTitle(QStringLiteral("Tomely Uploader"));
    window->setFixedSize(kWidth, kHeight);
    // The step area takes 185..780 x 20..490; the bottom bar lies below it.
    spinner_->setGeometry(20, 500, 60, 16);
    workingLabel_->setGeometry(90, 494, 400, 28);
    cancelButton_->setGeometry(560, 494, 100, 32);
    continueButton_->setGeometry(670, 494, 110, 32);
    continueButton_->setDefault(true);
    spinner_->hide();
    workingLabel_->hide();
    continueButton_->setAccessibleName(QStringLiteral("Continue"));
    cancelButton_->setAccessibleName(QStringLiteral("Cancel"));
    spinner_->setAccessibleName(QStringLiteral("Working"));
    workingLabel_->setAccessibleName(QStringLiteral("What is being done"));
    // Return and Enter press Continue wherever the keyboard is in the window, as the default
    // button of a dialog would; a hidden or disabled Continue ignores them.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(key, window);
        QObject::connect(shortcut, &QShortcut::activated, continueButton_, [this] {
            if (continueButton_->isVisible() && continueButton_->isEnabled()) {
                continueButton_->animateClick();
            }
        });
    }
}

ContainerControls UploaderWindow::containerControls() {
    return {stepOne_, stepTwo_, stepThree_, stepFour_, continue_, cancel_, workingSpinner_, workingText_, window_};
}

void UploaderWindow::show() {
    window_.widget()->show();
    window_.widget()->raise();
}

void UploaderWindow::makeKeyAndOrderFront() {
    window_.widget()->raise();
    window_.widget()->activateWindow();
}

}  // namespace tomely::ui
