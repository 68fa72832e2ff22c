// Walks the real uploader window through every step against a running shelf service and saves a
// picture of each: scripts/screenshot --walk starts it under Xvfb with the service, the sample
// book and the demo account, whose shelf already holds the book as "Walk Through". The service's
// URL comes from TOMELY_SERVICE_URL; QT_SCALE_FACTOR scales the window.
//
//     ui_screenshot_walk [--font-size POINTS] [--dark] OUT_DIR BOOK.iba EMAIL PASSWORD

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QProgressBar>
#include <QPushButton>

#include <iostream>

#include "DesktopPalettes.h"
#include "WizardDriver.h"
#include "steps/ACLocateBookViewController.h"
#include "steps/ACPrepareBookViewController.h"
#include "steps/ACUploadBookViewController.h"
#include "steps/ACUploadDoneViewController.h"

namespace {

using tomely::ui::WizardDriver;

struct Walk {
    WizardDriver& driver;
    QDir out;
    int failures = 0;

    void save(const char* name) {
        const QString path = out.filePath(QString::fromUtf8(name) + QStringLiteral(".png"));
        if (driver.picture().save(path)) {
            std::cout << "screenshot: wrote " << path.toStdString() << "\n";
        } else {
            std::cerr << "screenshot: could not write " << path.toStdString() << "\n";
            ++failures;
        }
    }
    // Stops the walk with the reason when a step does not come.
    bool expect(bool reached, const char* what) {
        if (!reached) {
            std::cerr << "screenshot: gave up waiting for " << what << "\n";
            save("failed-here");
            ++failures;
        }
        return reached;
    }
    bool showsControl(const char* objectName, const char* what) {
        return expect(driver.waitUntil([this, objectName] {
            QWidget* control = driver.control(objectName);
            return control != nullptr && control->isVisible();
        }),
                      what);
    }
};

int walk(WizardDriver& driver, const QString& outDirectory, const QString& email, const QString& password) {
    using namespace tomely;
    Walk walk{driver, QDir(outDirectory)};
    if (!walk.showsControl("emailField", "the sign-in step") ||
        !walk.expect(driver.activateWindow(), "the window to become active")) {
        return 1;
    }
    driver.type("emailField", email);
    driver.type("passwordField", password);
    walk.save("1-sign-in");
    driver.type("emailField", QString());
    driver.type("passwordField", QString());
    driver.pressReturn();
    if (!walk.showsControl("passwordFieldError", "the empty-field labels")) {
        return 1;
    }
    walk.save("1-sign-in-empty-fields");
    driver.type("emailField", email);
    driver.type("passwordField", QStringLiteral("not the password"));
    driver.pressReturn();
    if (!walk.showsControl("incorrectCredentialsError", "the wrong-password label")) {
        return 1;
    }
    walk.save("1-sign-in-wrong-password");

    driver.type("passwordField", password);
    driver.pressReturn();
    if (!walk.expect(driver.waitForStep<ACLocateBookViewController>(), "the locate-book step")) {
        return 1;
    }
    walk.save("2-locate-book");

    driver.pressReturn();
    if (!walk.expect(driver.waitForStep<ACPrepareBookViewController>(), "the prepare-book step")) {
        return 1;
    }
    walk.save("3-prepare-book");
    driver.type("generateBookField", QStringLiteral("walk through"));
    driver.pressReturn();
    if (!walk.showsControl("errorField2", "the title-taken label")) {
        return 1;
    }
    walk.save("3-prepare-book-title-taken");
    driver.type("generateBookField", QStringLiteral("A Walk Through Tomely"));
    walk.save("3-prepare-book-new-title");

    driver.pressReturn();
    if (!walk.expect(driver.waitForStep<ACUploadBookViewController>(), "the upload step")) {
        return 1;
    }
    walk.save("4-upload");
    // Once more with the bar under way, if the upload is still running by then.
    const auto underWay = [&] {
        const auto* bar = driver.control<QProgressBar>("");
        return bar != nullptr && bar->maximum() > 0 && bar->value() > bar->minimum();
    };
    if (driver.waitUntil(
            [&] { return underWay() || dynamic_cast<ACUploadDoneViewController*>(driver.currentStep()); }) &&
        underWay()) {
        walk.save("4-upload");
    }
    if (!walk.expect(driver.waitForStep<ACUploadDoneViewController>(), "the done step")) {
        return 1;
    }
    walk.save("5-done");
    return walk.failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tomely Uploader"));
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    // What a desktop would set: its text size and its dark palette.
    if (arguments.size() >= 2 && arguments.front() == QStringLiteral("--font-size")) {
        QFont font = QApplication::font();
        font.setPointSizeF(arguments.at(1).toDouble());
        QApplication::setFont(font);
        arguments.remove(0, 2);
    }
    if (!arguments.isEmpty() && arguments.front() == QStringLiteral("--dark")) {
        QApplication::setPalette(tomely::ui::darkDesktopPalette());
        arguments.removeFirst();
    }
    if (arguments.size() != 4) {
        std::cerr << "usage: ui_screenshot_walk [--font-size POINTS] [--dark] OUT_DIR BOOK.iba EMAIL PASSWORD\n";
        return 2;
    }
    tomely::ui::UploaderApplication uploader(arguments.at(1).toStdString());
    uploader.start();
    WizardDriver driver(uploader);
    return walk(driver, arguments.at(0), arguments.at(2), arguments.at(3));
}
