// The real window under Xvfb on a 1280x800 screen, at the desktop's text size and scale factor
// (QT_SCALE_FACTOR, set by the test's command): on every page, every visible label and button gets
// the room its text needs and lies inside the window, and Cancel and Continue are on the screen.
// Where the screen is too small for a page (16 points at scale 1.5 or 2), the step area scrolls:
// what lies in it must then lie in what it scrolls, and the rest inside the window.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>

#include "PagedWindow.h"

namespace tomely::ui {
namespace {

// Why `widget` would not show its whole text; empty when it does.
QString clipping(const QWidget* widget) {
    const auto* label = qobject_cast<const QLabel*>(widget);
    if (label != nullptr && label->wordWrap()) {
        const int needed = label->heightForWidth(label->width());
        if (label->minimumSizeHint().width() > label->width() || needed > label->height()) {
            return QStringLiteral("wrapped text needs %1 px of height at its width %2, has %3")
                .arg(needed)
                .arg(label->width())
                .arg(label->height());
        }
        return {};
    }
    const QSize hint = widget->sizeHint();
    if (hint.width() > widget->width() || hint.height() > widget->height()) {
        return QStringLiteral("needs %1x%2, has %3x%4")
            .arg(hint.width())
            .arg(hint.height())
            .arg(widget->width())
            .arg(widget->height());
    }
    return {};
}

QString describe(const QWidget* widget) {
    const auto* label = qobject_cast<const QLabel*>(widget);
    const auto* button = qobject_cast<const QAbstractButton*>(widget);
    const QString text = label != nullptr ? label->text() : button != nullptr ? button->text() : QString();
    return QStringLiteral("%1 \"%2\"").arg(QString::fromUtf8(widget->metaObject()->className()), text);
}

bool scrolls(const QScrollArea* area) {
    return area->widget()->width() > area->viewport()->width() || area->widget()->height() > area->viewport()->height();
}

class WindowFitTest : public ::testing::Test {
protected:
    void TearDown() override { QApplication::setFont(defaultFont_); }

    // Every page at `points`, checked as a whole.
    void checkEveryPageAt(double points) {
        QFont font = defaultFont_;
        font.setPointSizeF(points);
        QApplication::setFont(font);
        PagedWindow paged;
        const QRect screen = QApplication::primaryScreen()->availableGeometry();
        for (const std::string& name : PagedWindow::kPages) {
            SCOPED_TRACE(name);
            ASSERT_TRUE(paged.show(name));
            QWidget* window = paged.window();
            EXPECT_TRUE(screen.contains(window->frameGeometry()))
                << "window " << window->frameGeometry().width() << "x" << window->frameGeometry().height()
                << " minimum " << window->minimumWidth() << "x" << window->minimumHeight();
            int checked = 0;
            for (QWidget* widget : window->findChildren<QWidget*>()) {
                if (!widget->isVisible() ||
                    (qobject_cast<QLabel*>(widget) == nullptr && qobject_cast<QAbstractButton*>(widget) == nullptr)) {
                    continue;
                }
                ++checked;
                const QString what = describe(widget);
                const QString clipped = clipping(widget);
                EXPECT_TRUE(clipped.isEmpty()) << what.toStdString() << ": " << clipped.toStdString();
                const auto* stepArea = window->findChild<QScrollArea*>();
                const QWidget* room =
                    stepArea->widget()->isAncestorOf(widget) && scrolls(stepArea) ? stepArea->widget() : window;
                const QRect inRoom(widget->mapTo(room, QPoint(0, 0)), widget->size());
                EXPECT_TRUE(room->rect().contains(inRoom))
                    << what.toStdString() << " lies outside the " << (room == window ? "window" : "step area");
            }
            EXPECT_GE(checked, 8) << "the step list, the page's texts and the buttons";
            for (const char* title : {"Cancel", "Continue", "Close"}) {
                for (const QPushButton* button : window->findChildren<QPushButton*>()) {
                    if (button->isVisible() && button->text() == QString::fromUtf8(title)) {
                        const QRect onScreen(button->mapToGlobal(QPoint(0, 0)), button->size());
                        EXPECT_TRUE(screen.contains(onScreen))
                            << title << " is off the screen: at " << onScreen.x() << "," << onScreen.y() << " "
                            << onScreen.width() << "x" << onScreen.height() << " in a window at "
                            << window->geometry().x() << "," << window->geometry().y() << " " << window->width() << "x"
                            << window->height() << " on a screen of " << screen.width() << "x" << screen.height();
                    }
                }
            }
        }
    }

    const QFont defaultFont_ = QApplication::font();
};

TEST_F(WindowFitTest, EveryTextFitsAt9Points) {
    checkEveryPageAt(9);
}

TEST_F(WindowFitTest, EveryTextFitsAt12Points) {
    checkEveryPageAt(12);
}

TEST_F(WindowFitTest, EveryTextFitsAt16Points) {
    checkEveryPageAt(16);
}

}  // namespace
}  // namespace tomely::ui

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
