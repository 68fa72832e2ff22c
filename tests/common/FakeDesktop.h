#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/Desktop.h"

namespace tomely::test {

// Records every alert; answers with scripted button indexes (0, the default button, when the
// script has run out). `onAlert` runs while the alert is "up", as a modal alert would block.
class FakeAlertPresenter : public AlertPresenter {
public:
    std::size_t runModal(const Alert& alert) override;

    std::vector<Alert> shown;
    std::deque<std::size_t> answers;
    std::function<void(const Alert&)> onAlert;
};

class FakeApplication : public Application {
public:
    void terminate() override { ++terminateCount; }
    void activateIgnoringOtherApps() override { ++activateCount; }

    int terminateCount = 0;
    int activateCount = 0;
};

class FakeWorkspace : public Workspace {
public:
    void openURL(const std::string& url) override { openedURLs.push_back(url); }
    std::vector<RunningApplication> runningApplications() override { return running; }
    std::optional<std::vector<OpenDocument>> openDocumentsOfApplication(std::string_view bundleIdentifier) override;

    std::vector<std::string> openedURLs;
    std::vector<RunningApplication> running;
    // The documents of each application that reports itself running.
    std::map<std::string, std::vector<OpenDocument>, std::less<>> documents;
    // Every bundle identifier whose documents were asked for.
    std::vector<std::string> documentQueries;
};

class FakeOpenPanel : public OpenPanel {
public:
    std::optional<std::string> runModal(const std::vector<std::string>& allowedFileTypes) override;

    std::vector<std::vector<std::string>> requests;
    std::deque<std::optional<std::string>> answers;
};

// All fakes of the window system's services in one place, ready to hand out as a Desktop.
struct FakeDesktop {
    FakeAlertPresenter alerts;
    FakeApplication application;
    FakeWorkspace workspace;
    FakeOpenPanel openPanel;
    Desktop desktop{alerts, application, workspace, openPanel};
};

}  // namespace tomely::test
