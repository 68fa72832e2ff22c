#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>
#include <QUrl>

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/LaunchArguments.h"
#include "ui/UploaderApplication.h"

namespace {

std::vector<std::string> argumentsAfterTheProgram(const QStringList& arguments) {
    std::vector<std::string> rest;
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        rest.push_back(arguments.at(index).toStdString());
    }
    return rest;
}

// The book to propose, as a path or a file URL (as file managers pass it), made absolute so that
// it does not depend on the directory the app was started in.
std::string absoluteBookPath(const std::string& argument) {
    const QString given = QString::fromStdString(argument);
    const QString path = given.startsWith(QStringLiteral("file:")) ? QUrl(given).toLocalFile() : given;
    return QFileInfo(path).absoluteFilePath().toStdString();
}

}  // namespace

int main(int argc, char* argv[]) {
    using tomely::LaunchRequest;
    // Help and version before the window system starts: they need no display.
    const LaunchRequest early = tomely::readLaunchArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (early.kind == LaunchRequest::Kind::Help) {
        std::cout << tomely::helpText();
        return 0;
    }
    if (early.kind == LaunchRequest::Kind::Version) {
        std::cout << tomely::versionText();
        return 0;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tomely Uploader"));
    QApplication::setDesktopFileName(QStringLiteral("org.tomely.Uploader"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/org.tomely.Uploader.png")));
    // Read again without Qt's own options (such as -platform), which QApplication has taken out.
    const LaunchRequest request = tomely::readLaunchArguments(argumentsAfterTheProgram(QApplication::arguments()));
    if (request.kind == LaunchRequest::Kind::Usage) {
        std::cerr << "tomely-uploader: " << request.problem << "\nUsage: tomely-uploader [BOOK.iba]\n";
        return 2;
    }
    std::optional<std::string> book;
    if (request.book) {
        book = absoluteBookPath(*request.book);
    }
    tomely::ui::UploaderApplication uploader(book);
    QTimer::singleShot(0, &application, [&uploader] { uploader.start(); });
    return QApplication::exec();
}
