// The real window under the offscreen platform, used from the keyboard and read out as a screen
// reader would: the description of the control the keyboard is on. (The accessibility events
// themselves reach no one here: Qt sends them only while a screen reader listens on the desktop's
// accessibility bus.)

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <QTest>

#include <string>
#include <vector>

#include "PagedWindow.h"
#include "WizardDriver.h"
#include "steps/AuthView.h"
#include "steps/LocateBookView.h"
#include "steps/PrepareBookView.h"

namespace tomely::ui {
namespace {

class WindowKeyboardTest : public ::testing::Test {
protected:
    // Shows `page` in the active window.
    void show(const std::string& page) {
        ASSERT_TRUE(paged.show(page));
        paged.window()->activateWindow();
        ASSERT_TRUE(WizardDriver::waitUntil([this] { return QApplication::activeWindow() == paged.window(); }));
    }
    QPushButton* button(const QString& title) const {
        for (QPushButton* candidate : paged.window()->findChildren<QPushButton*>()) {
            if (candidate->text() == title) {
                return candidate;
            }
        }
        return nullptr;
    }

    PagedWindow paged;
};

TEST_F(WindowKeyboardTest, EscapePressesCancelWhereverTheKeyboardIsAndNothingWhereCancelIsHidden) {
    show("ACAuthViewController");
    paged.desktop.alerts.answers = {0};  // "No"
    QTest::keyClick(paged.window()->findChild<QWidget*>("passwordField"), Qt::Key_Escape);
    ASSERT_TRUE(WizardDriver::waitUntil([this] { return !paged.desktop.alerts.shown.empty(); }));
    EXPECT_EQ(paged.desktop.alerts.shown[0].messageText, "Are you sure?");
    EXPECT_EQ(paged.desktop.alerts.shown[0].informativeText, "Are you sure you want to cancel?");

    show("ACUploadDoneViewController");
    bool closed = false;
    QObject::connect(button(QStringLiteral("Close")), &QPushButton::clicked, [&closed] { closed = true; });
    // A click that Escape started would come before the one Return starts.
    QTest::keyClick(paged.window(), Qt::Key_Escape);
    QTest::keyClick(paged.window(), Qt::Key_Return);
    ASSERT_TRUE(WizardDriver::waitUntil([&closed] { return closed; }));
    EXPECT_EQ(paged.desktop.alerts.shown.size(), 1U) << "no Cancel on the done page, so no question";
}

TEST_F(WindowKeyboardTest, HomeAndEndSelectTheFirstAndTheLastBook) {
    show("ACPrepareBookViewController");
    TableControl& table = dynamic_cast<PrepareBookView&>(paged.page()).existingBooksTable();
    std::vector<int> seen;
    table.setSelectionChangedAction([&] { seen.push_back(table.selectedRow()); });
    table.selectRow(0);
    table.makeFirstResponder();
    QWidget* view = paged.window()->findChild<QWidget*>("existingBooksTable");
    QTest::keyClick(view, Qt::Key_End);
    EXPECT_EQ(table.selectedRow(), 2);
    QTest::keyClick(view, Qt::Key_Home);
    EXPECT_EQ(table.selectedRow(), 0);
    EXPECT_EQ(seen, (std::vector<int>{0, 2, 0})) << "the step hears of every change";
    table.setSelectionChangedAction({});
}

TEST_F(WindowKeyboardTest, ErrorLabelsDescribeTheirControlWhileShown) {
    struct Case {
        const char* page;
        TextControl& (*label)(View&);
        const char* labelName;
        const char* controlName;
        const char* text;
    };
    const Case cases[] = {
        {"ACAuthViewController", [](View& v) -> TextControl& { return dynamic_cast<AuthView&>(v).emailFieldError(); },
         "emailFieldError", "emailField", "Please enter your e-mail address."},
        {"ACAuthViewController",
         [](View& v) -> TextControl& { return dynamic_cast<AuthView&>(v).passwordFieldError(); }, "passwordFieldError",
         "passwordField", "Please enter your password."},
        {"ACAuthViewController",
         [](View& v) -> TextControl& { return dynamic_cast<AuthView&>(v).incorrectCredentialsError(); },
         "incorrectCredentialsError", "passwordField",
         "The e-mail address or the password is not correct. Please try again."},
        {"ACLocateBookViewController",
         [](View& v) -> TextControl& { return dynamic_cast<LocateBookView&>(v).bookFieldError(); }, "bookFieldError",
         "findBookButton", "Please choose a book file that exists."},
        {"ACPrepareBookViewController",
         [](View& v) -> TextControl& { return dynamic_cast<PrepareBookView&>(v).errorField(); }, "errorField",
         "existingBooksTable", "Please select a book to replace, or type a title for a new book."},
        {"ACPrepareBookViewController",
         [](View& v) -> TextControl& { return dynamic_cast<PrepareBookView&>(v).errorField2(); }, "errorField2",
         "generateBookField",
         "A book with a title like this one is on your shelf already. Select it above to replace it, or type another "
         "title."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.labelName);
        show(c.page);
        TextControl& label = c.label(paged.page());
        const QWidget* control = paged.window()->findChild<QWidget*>(c.controlName);
        label.setHidden(true);
        EXPECT_EQ(control->accessibleDescription(), "");
        label.setHidden(false);
        EXPECT_EQ(control->accessibleDescription(), c.text);
        label.setHidden(true);
        EXPECT_EQ(control->accessibleDescription(), "");
    }
}

// The window's picture around `widget`, with a margin for a ring drawn around it.
QImage around(const QWidget* widget) {
    QCoreApplication::processEvents();
    const QRect area(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
    return widget->window()->grab(area.adjusted(-4, -4, 4, 4)).toImage();
}

TEST_F(WindowKeyboardTest, EveryControlShowsWhenItHasTheKeyboard) {
    int checked = 0;
    for (const std::string& page : PagedWindow::kPages) {
        SCOPED_TRACE(page);
        show(page);
        for (QWidget* control : paged.window()->findChildren<QWidget*>()) {
            if (!control->isVisible() || !control->isEnabled() || !(control->focusPolicy() & Qt::TabFocus)) {
                continue;
            }
            SCOPED_TRACE(control->accessibleName().toStdString());
            control->clearFocus();
            const QImage without = around(control);
            control->setFocus(Qt::TabFocusReason);
            ASSERT_TRUE(control->hasFocus());
            EXPECT_NE(around(control), without);
            ++checked;
        }
    }
    // The fields, the links, the buttons and the table.
    EXPECT_GE(checked, 12);
}

}  // namespace
}  // namespace tomely::ui
