#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "steps/UploadBookView.h"
#include "steps/UploadDoneView.h"
#include "ui/QtControls.h"
#include "ui/QtViewBundle.h"

namespace tomely::ui {
namespace {

TEST(UploadViewsTest, BothPagesNameEveryControlAndDriveTheirOwn) {
    QtViewBundle bundle;
    const std::unique_ptr<View> upload = bundle.loadView("ACUploadBookViewController");
    const std::unique_ptr<View> done = bundle.loadView("ACUploadDoneViewController");
    for (const View* view : {upload.get(), done.get()}) {
        for (QWidget* child : dynamic_cast<const QtView&>(*view).widget()->findChildren<QWidget*>()) {
            EXPECT_FALSE(child->accessibleName().isEmpty()) << child->metaObject()->className();
        }
    }

    auto& uploadPage = dynamic_cast<UploadBookView&>(*upload);
    uploadPage.progressBar().setIndeterminate(false);
    uploadPage.progressBar().setMaxValue(4);
    uploadPage.progressBar().setValue(3);
    const auto* bar = dynamic_cast<QtView&>(*upload).widget()->findChild<QProgressBar*>();
    EXPECT_EQ(bar->value() * 4, bar->maximum() * 3);

    QWidget* donePage = dynamic_cast<QtView&>(*done).widget();
    EXPECT_FALSE(donePage->findChild<QLabel*>()->pixmap().isNull()) << "the success picture comes first";
    int presses = 0;
    dynamic_cast<UploadDoneView&>(*done).actionButton().setAction([&presses] { ++presses; });
    donePage->findChild<QPushButton*>()->click();
    EXPECT_EQ(presses, 1);
}

}  // namespace
}  // namespace tomely::ui
