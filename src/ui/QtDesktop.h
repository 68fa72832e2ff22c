#pragma once

#include "app/Desktop.h"

namespace tomely::ui {

class QtAlertPresenter final : public AlertPresenter {
public:
    std::size_t runModal(const Alert& alert) override;
};

class QtApplication final : public Application {
public:
    void terminate() override;
    void activateIgnoringOtherApps() override;
};

class QtWorkspace final : public Workspace {
public:
    void openURL(const std::string& url) override;
    [[nodiscard]] std::vector<RunningApplication> runningApplications() override;
    [[nodiscard]] std::optional<std::vector<OpenDocument>> openDocumentsOfApplication(
        std::string_view bundleIdentifier) override;
};

class QtOpenPanel final : public OpenPanel {
public:
    std::optional<std::string> runModal(const std::vector<std::string>& allowedFileTypes) override;
};

struct QtDesktop {
    QtAlertPresenter alerts;
    QtApplication application;
    QtWorkspace workspace;
    QtOpenPanel openPanel;
    Desktop desktop{alerts, application, workspace, openPanel};
};

}  // namespace tomely::ui
