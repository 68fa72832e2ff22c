#include "DesktopPalettes.h"

#include <QApplication>
#include <QStyle>

namespace tomely::ui {
namespace {

struct Roles {
    QColor window, windowText, base, alternateBase, text, button, buttonText, highlight, highlightedText, link,
        placeholder, disabledText;
};

QPalette paletteOf(const Roles& roles) {
    QPalette palette;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        palette.setColor(group, QPalette::Window, roles.window);
        palette.setColor(group, QPalette::WindowText, disabled ? roles.disabledText : roles.windowText);
        palette.setColor(group, QPalette::Base, roles.base);
        palette.setColor(group, QPalette::AlternateBase, roles.alternateBase);
        palette.setColor(group, QPalette::Text, disabled ? roles.disabledText : roles.text);
        palette.setColor(group, QPalette::Button, roles.button);
        palette.setColor(group, QPalette::ButtonText, disabled ? roles.disabledText : roles.buttonText);
        palette.setColor(group, QPalette::Highlight, roles.highlight);
        palette.setColor(group, QPalette::HighlightedText, roles.highlightedText);
        palette.setColor(group, QPalette::Link, roles.link);
        palette.setColor(group, QPalette::PlaceholderText, roles.placeholder);
        palette.setColor(group, QPalette::ToolTipBase, roles.base);
        palette.setColor(group, QPalette::ToolTipText, roles.text);
        palette.setColor(group, QPalette::BrightText, roles.windowText);
        palette.setColor(group, QPalette::Light, roles.button.lighter(150));
        palette.setColor(group, QPalette::Midlight, roles.button.lighter(125));
        palette.setColor(group, QPalette::Mid, roles.button.darker(120));
        palette.setColor(group, QPalette::Dark, roles.button.darker(150));
        palette.setColor(group, QPalette::Shadow, QColor(0, 0, 0));
    }
    return palette;
}

}  // namespace

QPalette darkDesktopPalette() {
    // A dark grey window, lighter text, a blue selection and links, as dark desktop themes have.
    return paletteOf({.window = QColor(0x2d, 0x2d, 0x2d),
                      .windowText = QColor(0xee, 0xee, 0xee),
                      .base = QColor(0x1e, 0x1e, 0x1e),
                      .alternateBase = QColor(0x26, 0x26, 0x26),
                      .text = QColor(0xee, 0xee, 0xee),
                      .button = QColor(0x3a, 0x3a, 0x3a),
                      .buttonText = QColor(0xee, 0xee, 0xee),
                      .highlight = QColor(0x35, 0x84, 0xe4),
                      .highlightedText = QColor(0xff, 0xff, 0xff),
                      .link = QColor(0x35, 0x84, 0xe4),
                      .placeholder = QColor(0xee, 0xee, 0xee, 0x80),
                      .disabledText = QColor(0x80, 0x80, 0x80)});
}

QPalette highContrastDesktopPalette() {
    // White on black, with yellow for the selection and links.
    return paletteOf({.window = QColor(0, 0, 0),
                      .windowText = QColor(0xff, 0xff, 0xff),
                      .base = QColor(0, 0, 0),
                      .alternateBase = QColor(0x10, 0x10, 0x10),
                      .text = QColor(0xff, 0xff, 0xff),
                      .button = QColor(0, 0, 0),
                      .buttonText = QColor(0xff, 0xff, 0xff),
                      .highlight = QColor(0xff, 0xff, 0x00),
                      .highlightedText = QColor(0, 0, 0),
                      .link = QColor(0xff, 0xff, 0x00),
                      .placeholder = QColor(0xc0, 0xc0, 0xc0),
                      .disabledText = QColor(0x90, 0x90, 0x90)});
}

std::vector<DesktopPalette> desktopPalettes() {
    return {{QStringLiteral("light"), QApplication::style()->standardPalette()},
            {QStringLiteral("dark"), darkDesktopPalette()},
            {QStringLiteral("high contrast"), highContrastDesktopPalette()}};
}

}  // namespace tomely::ui
