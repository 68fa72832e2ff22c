// Every text of every page, on a light, a dark and a high-contrast desktop palette: its colour
// against the colour behind it keeps at least 4.5:1, the usual minimum for text. The palettes are
// switched while the window is up, as a desktop switching themes would.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include <cmath>
#include <vector>

#include "DesktopPalettes.h"
#include "PagedWindow.h"
#include "steps/PrepareBookView.h"

namespace tomely::ui {
namespace {

// WCAG 2's relative luminance and contrast ratio, written out here rather than taken from the app.
double luminance(const QColor& color) {
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
}

double contrast(const QColor& a, const QColor& b) {
    const double first = luminance(a);
    const double second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

TEST(ContrastFormulaTest, KnownPairs) {
    struct Case {
        QColor a, b;
        double ratio;
    };
    const Case cases[] = {
        {Qt::black, Qt::white, 21.0},
        {QColor(0x77, 0x77, 0x77), Qt::white, 4.48},
        {QColor(0x76, 0x76, 0x76), Qt::white, 4.54},
        {Qt::white, Qt::white, 1.0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(contrast(c.a, c.b), c.ratio, 0.01);
    }
}

// The colour `widget` is drawn on: that of the nearest widget that paints its background.
QColor backgroundOf(const QWidget* widget, QPalette::ColorGroup group) {
    for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (w->autoFillBackground() || w->isWindow()) {
            return w->palette().color(group, w->backgroundRole());
        }
    }
    return widget->palette().color(group, QPalette::Window);
}

struct Pair {
    QString what;
    QColor text;
    QColor background;
};

// The text colours `widget` shows, each with what lies behind it.
std::vector<Pair> textColorsOf(const QWidget* widget, QPalette::ColorGroup group) {
    const QPalette& palette = widget->palette();
    const auto role = [&](QPalette::ColorRole r) { return palette.color(group, r); };
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        if (label->text().isEmpty()) {
            return {};
        }
        return {{label->text(), role(label->foregroundRole()), backgroundOf(label, group)}};
    }
    if (const auto* field = qobject_cast<const QLineEdit*>(widget)) {
        std::vector<Pair> pairs{{field->objectName(), role(QPalette::Text), role(QPalette::Base)}};
        if (!field->placeholderText().isEmpty()) {
            pairs.push_back({field->placeholderText(), role(QPalette::PlaceholderText), role(QPalette::Base)});
        }
        return pairs;
    }
    if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
        const QColor behind = button->isFlat() ? backgroundOf(button->parentWidget(), group) : role(QPalette::Button);
        return {{button->text(), role(QPalette::ButtonText), behind}};
    }
    if (qobject_cast<const QHeaderView*>(widget) != nullptr) {
        return {{QStringLiteral("table header"), role(QPalette::ButtonText), role(QPalette::Button)}};
    }
    if (qobject_cast<const QTableView*>(widget) != nullptr) {
        return {{QStringLiteral("row"), role(QPalette::Text), role(QPalette::Base)},
                {QStringLiteral("alternate row"), role(QPalette::Text), role(QPalette::AlternateBase)},
                {QStringLiteral("selected row"), role(QPalette::HighlightedText), role(QPalette::Highlight)}};
    }
    return {};
}

// Every text of the window as it is now; returns how many were checked.
int expectReadable(QWidget* window) {
    int checked = 0;
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisible() || !widget->isEnabled()) {
            continue;
        }
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            for (const Pair& pair : textColorsOf(widget, group)) {
                ++checked;
                EXPECT_GE(contrast(pair.text, pair.background), 4.5)
                    << pair.what.toStdString() << ": " << pair.text.name().toStdString() << " on "
                    << pair.background.name().toStdString() << (group == QPalette::Active ? "" : " (inactive)");
            }
        }
    }
    return checked;
}

TEST(WindowContrastTest, EveryTextReadsOnLightDarkAndHighContrastPalettes) {
    const QPalette original = QApplication::palette();
    PagedWindow paged;
    for (const DesktopPalette& desktop : desktopPalettes()) {
        SCOPED_TRACE(desktop.name.toStdString());
        QApplication::setPalette(desktop.palette);
        for (const std::string& name : PagedWindow::kPages) {
            SCOPED_TRACE(name);
            ASSERT_TRUE(paged.show(name));
            EXPECT_GE(expectReadable(paged.window()), 20);
            if (auto* prepare = dynamic_cast<PrepareBookView*>(&paged.page())) {
                SCOPED_TRACE("the table set aside");
                prepare->existingBooksTable().setSetAside(true);
                expectReadable(paged.window());
            }
        }
    }
    QApplication::setPalette(original);
}

}  // namespace
}  // namespace tomely::ui

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
