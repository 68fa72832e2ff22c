#pragma once

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "app/ACMainViewController.h"
#include "app/UploaderWindowView.h"
#include "common/FakeDesktop.h"
#include "ui/QtViewBundle.h"

namespace tomely::ui {

// The real uploader window with its step container, showing each step's page at its fullest
// through the same interfaces the steps use: every error label and progress bar shown, long texts,
// the working indicator on, the step list as that step sets it. The desktop's services are fakes:
// Cancel asks the fake alert presenter.
class PagedWindow {
public:
    // The names of the five pages, in the wizard's order.
    static const std::vector<std::string> kPages;

    PagedWindow();
    ~PagedWindow();
    PagedWindow(const PagedWindow&) = delete;
    PagedWindow& operator=(const PagedWindow&) = delete;

    // Shows the page `name` in the window and waits until the window is on screen, laid out and
    // where the app put it; false when it does not get there.
    [[nodiscard]] bool show(const std::string& name);
    [[nodiscard]] QWidget* window() const;
    [[nodiscard]] View& page() const { return *page_; }

    test::FakeDesktop desktop;
    QtViewBundle bundle;

private:
    std::unique_ptr<UploaderWindowView> windowView_;
    std::unique_ptr<ACMainViewController> container_;
    std::unique_ptr<View> page_;
    std::unique_ptr<TableDataSource> books_;
};

}  // namespace tomely::ui
