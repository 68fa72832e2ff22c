#include "ui/UploaderWindow.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "ui/FocusRing.h"

namespace tomely::ui {
namespace {

// Fits the window again once a change of its fonts or style, or of the step shown, has reached
// its layouts.
class RefitOnChange final : public QObject {
public:
    RefitOnChange(UploaderWindow& window, QWidget* stepHost)
        : QObject(window.widget()), window_(window), stepHost_(stepHost) {
        window.widget()->installEventFilter(this);
        stepHost->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        const bool windowChange =
            type == QEvent::FontChange || type == QEvent::ApplicationFontChange || type == QEvent::StyleChange;
        // Only the step's own layout: fitting lays out the window, which must not fit it again.
        const bool stepChange = watched == stepHost_ && type == QEvent::LayoutRequest;
        if ((windowChange || stepChange) && !pending_) {
            pending_ = true;
            QTimer::singleShot(0, this, [this] {
                pending_ = false;
                window_.fitToScreen();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    UploaderWindow& window_;
    QObject* stepHost_;
    bool pending_ = false;
};

// A button of the window's bottom row that `key` presses, wherever the keyboard is in the window,
// as long as the button is shown and enabled.
void pressWithKey(QPushButton* button, const QKeySequence& key) {
    auto* shortcut = new QShortcut(key, button->window());
    QObject::connect(shortcut, &QShortcut::activated, button, [button] {
        if (button->isVisible() && button->isEnabled()) {
            button->animateClick();
        }
    });
}

}  // namespace

void StepAreaView::addSubview(View& subview) {
    QtView::addSubview(subview);
    widget()->layout()->activate();
    shown_();
}

UploaderWindow::UploaderWindow()
    : window_(new QWidget, QtView::Ownership::Owned),
      stepArea_(new StepArea(kStepAreaSize, window_.widget())),
      stepAreaView_(stepArea_->host(), [this] { fitToScreen(); }),
      stepOne_(QStringLiteral("1. Sign in"), window_.widget()),
      stepTwo_(QStringLiteral("2. Locate book"), window_.widget()),
      stepThree_(QStringLiteral("3. Choose target"), window_.widget()),
      stepFour_(QStringLiteral("4. Upload"), window_.widget()),
      continueButton_(new QPushButton(QStringLiteral("Continue"), window_.widget())),
      cancelButton_(new QPushButton(QStringLiteral("Cancel"), window_.widget())),
      spinner_(new QProgressBar(window_.widget())),
      workingLabel_(new QLabel(window_.widget())),
      continue_(continueButton_),
      cancel_(cancelButton_),
      workingSpinner_(spinner_),
      workingText_(workingLabel_) {
    QWidget* window = window_.widget();
    window->setWindowTitle(QStringLiteral("Tomely Uploader"));

    auto* steps = new QVBoxLayout;
    steps->setSpacing(12);
    for (const QtStepIndicator* indicator : {&stepOne_, &stepTwo_, &stepThree_, &stepFour_}) {
        steps->addWidget(indicator->widget());
    }
    steps->addStretch();
    auto* body = new QHBoxLayout;
    body->setSpacing(24);
    body->addLayout(steps);
    body->addWidget(stepArea_, 1);

    // The spinner keeps its place while hidden, so the bottom row does not shift when work starts.
    QSizePolicy spinnerPolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    spinnerPolicy.setRetainSizeWhenHidden(true);
    spinner_->setSizePolicy(spinnerPolicy);
    spinner_->setFixedWidth(60);
    spinner_->hide();
    workingLabel_->setWordWrap(true);
    // Its place kept too, so that Cancel and Continue keep their size and place on the right.
    QSizePolicy workingPolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    workingPolicy.setRetainSizeWhenHidden(true);
    workingLabel_->setSizePolicy(workingPolicy);
    workingLabel_->hide();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(spinner_);
    bottom->addWidget(workingLabel_, 1);
    bottom->addWidget(cancelButton_);
    bottom->addWidget(continueButton_);

    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(kMargin, kMargin, kMargin, 12);
    layout->addLayout(body, 1);
    layout->addLayout(bottom);

    continueButton_->setDefault(true);
    continueButton_->setAccessibleName(QStringLiteral("Continue"));
    cancelButton_->setAccessibleName(QStringLiteral("Cancel"));
    spinner_->setAccessibleName(QStringLiteral("Working"));
    workingLabel_->setAccessibleName(QStringLiteral("What is being done"));
    QWidget::setTabOrder(cancelButton_, continueButton_);
    // The style shows which button has the keyboard too faintly, or not at all.
    addFocusRing(cancelButton_);
    addFocusRing(continueButton_);
    // The step area only holds the step: the keyboard goes through it to the step's controls.
    stepArea_->setFocusPolicy(Qt::NoFocus);
    // As the default and the cancel button of a dialog would.
    pressWithKey(continueButton_, QKeySequence(Qt::Key_Return));
    pressWithKey(continueButton_, QKeySequence(Qt::Key_Enter));
    pressWithKey(cancelButton_, QKeySequence(Qt::Key_Escape));
    new RefitOnChange(*this, stepArea_->host());
}

ContainerControls UploaderWindow::containerControls() {
    return {stepOne_, stepTwo_,        stepThree_,   stepFour_,    continue_,
            cancel_,  workingSpinner_, workingText_, stepAreaView_};
}

void UploaderWindow::fitToScreen() {
    QWidget* window = window_.widget();
    const QRect available = window->screen()->availableGeometry();
    QLayout* layout = window->layout();
    // First all the room the step's content needs, then whatever goes past the screen taken off
    // the step area, which scrolls instead. The step area's needs are asked afresh: its content
    // may have just changed.
    stepArea_->updateGeometry();
    stepArea_->setRoom(available.size());
    layout->activate();
    const QSize excess = (layout->totalMinimumSize() - available.size()).expandedTo(QSize(0, 0));
    if (!excess.isNull()) {
        stepArea_->setRoom(stepArea_->minimumSizeHint() - excess);
        layout->activate();
    }
    QRect frame = window->frameGeometry();
    if (!available.contains(frame)) {
        const QSize decoration = frame.size() - window->size();
        window->resize(window->size().boundedTo(available.size() - decoration).expandedTo(window->minimumSize()));
        frame = window->frameGeometry();
        frame.moveLeft(std::clamp(frame.left(), available.left(),
                                  std::max(available.left(), available.right() - frame.width() + 1)));
        frame.moveTop(std::clamp(frame.top(), available.top(),
                                 std::max(available.top(), available.bottom() - frame.height() + 1)));
        window->move(frame.topLeft());
    }
}

void UploaderWindow::show() {
    QWidget* window = window_.widget();
    if (!window->testAttribute(Qt::WA_WState_Created)) {
        // The first time: the default size, then follow the screen the window lands on.
        window->winId();
        QObject::connect(window->windowHandle(), &QWindow::screenChanged, window, [this] { fitToScreen(); });
        fitToScreen();
        window->resize(window->sizeHint().boundedTo(window->screen()->availableGeometry().size()));
        fitToScreen();
    }
    window->show();
    window->raise();
}

void UploaderWindow::makeKeyAndOrderFront() {
    window_.widget()->raise();
    window_.widget()->activateWindow();
}

}  // namespace tomely::ui
