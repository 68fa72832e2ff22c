#include "ui/QtDesktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QUrl>
#include <QWidget>

namespace tomely::ui {

std::size_t QtAlertPresenter::runModal(const Alert& alert) {
    QMessageBox box(QApplication::activeWindow());
    box.setIcon(alert.style == Alert::Style::Critical ? QMessageBox::Critical : QMessageBox::Warning);
    box.setText(QString::fromStdString(alert.messageText));
    box.setInformativeText(QString::fromStdString(alert.informativeText));
    std::vector<QPushButton*> buttons;
    for (const std::string& title : alert.buttons) {
        buttons.push_back(box.addButton(QString::fromStdString(title), QMessageBox::ActionRole));
    }
    if (!buttons.empty()) {
        box.setDefaultButton(buttons.front());
    }
    box.exec();
    for (std::size_t index = 0; index < buttons.size(); ++index) {
        if (box.clickedButton() == buttons[index]) {
            return index;
        }
    }
    return 0;
}

void QtApplication::terminate() {
    QCoreApplication::quit();
}

void QtApplication::activateIgnoringOtherApps() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible()) {
            window->raise();
            window->activateWindow();
        }
    }
}

void QtWorkspace::openURL(const std::string& url) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

// A Linux desktop lists no running applications by bundle identifier, and iBooks Author, the one
// application asked for, runs only on macOS: there is never one to ask for its documents.
std::vector<RunningApplication> QtWorkspace::runningApplications() {
    return {};
}

std::optional<std::vector<OpenDocument>> QtWorkspace::openDocumentsOfApplication(std::string_view) {
    return std::nullopt;
}

std::optional<std::string> QtOpenPanel::runModal(const std::vector<std::string>& allowedFileTypes) {
    QStringList patterns;
    for (const std::string& type : allowedFileTypes) {
        patterns << QStringLiteral("*.") + QString::fromStdString(type);
    }
    const QString filter = patterns.isEmpty() ? QString() : QStringLiteral("Books (%1)").arg(patterns.join(' '));
    const QString path = QFileDialog::getOpenFileName(QApplication::activeWindow(), QString(), QString(), filter);
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return path.toStdString();
}

}  // namespace tomely::ui
