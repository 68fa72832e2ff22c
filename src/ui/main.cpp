#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>
#include <QUrl>

#include <iostream>
#include <optional>
#include <string>

#include "ui/UploaderApplication.h"

namespace {

// The one optional argument: a book to propose, as a path or a file URL (as file managers pass
// it), made absolute so that it does not depend on the directory the app was started in.
std::optional<std::string> bookPathArgument(const QStringList& arguments) {
    if (arguments.size() < 2) {
        return std::nullopt;
    }
    const QString argument = arguments.at(1);
    const QString path = argument.startsWith(QStringLiteral("file:")) ? QUrl(argument).toLocalFile() : argument;
    return QFileInfo(path).absoluteFilePath().toStdString();
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tomely Uploader"));
    QApplication::setDesktopFileName(QStringLiteral("org.tomely.Uploader"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/org.tomely.Uploader.png")));
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 2) {
        std::cerr << "usage: tomely-uploader [BOOK.iba]\n";
        return 2;
    }
    tomely::ui::UploaderApplication uploader(bookPathArgument(arguments));
    QTimer::singleShot(0, &application, [&uploader] { uploader.start(); });
    return QApplication::exec();
}
