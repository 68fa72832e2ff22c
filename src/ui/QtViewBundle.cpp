#include "ui/QtViewBundle.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/QtControls.h"
#include "ui/UploadBookView.h"
#include "ui/UploadDoneView.h"
#include "ui/UploaderWindow.h"

namespace tomely::ui {
namespace {

std::unique_ptr<View> welcomeView() {
    auto* widget = new QWidget;
    auto* layout = new QVBoxLayout(widget);
    auto* title = new QLabel(QStringLiteral("<h2>Publish your book to your Tomely shelf</h2>"), widget);
    auto* body =
        new QLabel(QStringLiteral("Sign in, pick your book, and the uploader sends only what has changed."), widget);
    body->setWordWrap(true);
    layout->addWidget(title);
    layout->addWidget(body);
    layout->addStretch();
    return std::make_unique<QtView>(widget, QtView::Ownership::Owned);
}

}  // namespace

std::unique_ptr<View> QtViewBundle::loadView(std::string_view name) {
    if (name == "ACWelcomeViewController") {
        return welcomeView();
    }
    if (name == "ACUploadBookViewController") {
        return std::make_unique<QtUploadBookView>();
    }
    if (name == "ACUploadDoneViewController") {
        return std::make_unique<QtUploadDoneView>();
    }
    return nullptr;
}

std::unique_ptr<UploaderWindowView> QtViewBundle::loadWindow(std::string_view name) {
    if (name == "ACUploaderWindow") {
        return std::make_unique<UploaderWindow>();
    }
    return nullptr;
}

}  // namespace tomely::ui
