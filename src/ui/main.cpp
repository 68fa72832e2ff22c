#include <QApplication>
#include <QTimer>

#include "ui/UploaderApplication.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tomely Uploader"));
    tomely::ui::UploaderApplication uploader;
    QTimer::singleShot(0, &application, [&uploader] { uploader.start(); });
    return QApplication::exec();
}
