// The application as its main() builds it, walked with the keyboard to one stage of the work on a
// book and then closed, as the author closes the window while work runs: the extraction, the
// fingerprinting or the upload. Whatever still runs then must end with the process, quietly. The
// window test starts it against a shelf service of its own and reads its exit status and output.
//
//     ui_quit_while_working extraction|fingerprinting|upload BOOK.iba EMAIL PASSWORD

#include <QApplication>
#include <QTimer>

#include <cstring>
#include <iostream>
#include <string>

#include "WizardDriver.h"
#include "steps/ACLocateBookViewController.h"
#include "steps/ACPrepareBookViewController.h"
#include "steps/ACUploadBookViewController.h"

namespace {

using namespace tomely;
using tomely::ui::WizardDriver;

// The line under the upload step's bar, or "" before that step.
std::string uploadStatus(const WizardDriver& driver) {
    auto* step = dynamic_cast<ACUploadBookViewController*>(driver.currentStep());
    return step == nullptr ? std::string() : step->progressTextField().text();
}

// Walks to `stage` and closes the window there; false (with the reason on stderr) when the walk
// does not get there.
bool walkAndClose(ui::UploaderApplication& application, const std::string& stage, const QString& email,
                  const QString& password) {
    WizardDriver driver(application);
    const auto reached = [](bool ok, const char* what) {
        if (!ok) {
            std::cerr << "ui_quit_while_working: gave up waiting for " << what << "\n";
        }
        return ok;
    };
    if (!reached(driver.waitUntil([&] { return driver.control("emailField") != nullptr; }), "the sign-in step") ||
        !reached(driver.activateWindow(), "the window to become active")) {
        return false;
    }
    driver.type("emailField", email);
    driver.type("passwordField", password);
    driver.pressReturn();
    if (!reached(driver.waitForStep<ACLocateBookViewController>(), "the locate-book step")) {
        return false;
    }
    driver.pressReturn();
    if (stage == "extraction") {
        const ACMainViewController& container = application.delegate().uploaderWindow()->mainViewController();
        // Continue has started the extraction, which a large book keeps busy well past this moment.
        if (!reached(driver.waitUntil([&] { return !container.continueButtonEnabled(); }), "the extraction")) {
            return false;
        }
    } else {
        if (!reached(driver.waitForStep<ACPrepareBookViewController>(), "the prepare-book step")) {
            return false;
        }
        driver.type("generateBookField", QStringLiteral("Closed While Working"));
        driver.pressReturn();
        const char* begins = stage == "fingerprinting" ? "Looking for changes in your book" : "Uploading book";
        if (!reached(driver.waitUntil([&] { return uploadStatus(driver).starts_with(begins); }), begins)) {
            return false;
        }
    }
    driver.window()->close();
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication qtApplication(argc, argv);
    if (argc != 5) {
        std::cerr << "usage: ui_quit_while_working extraction|fingerprinting|upload BOOK.iba EMAIL PASSWORD\n";
        return 2;
    }
    const std::string stage = argv[1];
    ui::UploaderApplication application{std::string(argv[2])};
    QTimer::singleShot(0, &qtApplication, [&] {
        application.start();
        if (!walkAndClose(application, stage, QString::fromUtf8(argv[3]), QString::fromUtf8(argv[4]))) {
            QCoreApplication::exit(3);
        }
    });
    return QApplication::exec();
}
