#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/Alert.h"

namespace tomely {

class Application {
public:
    virtual ~Application() = default;
    // Ends the application at once; running work is abandoned, not awaited.
    virtual void terminate() = 0;
    // Brings the application and its window in front of all others.
    virtual void activateIgnoringOtherApps() = 0;
};

class Workspace {
public:
    virtual ~Workspace() = default;
    // Opens the URL in the user's default browser.
    virtual void openURL(const std::string& url) = 0;
};

class OpenPanel {
public:
    virtual ~OpenPanel() = default;
    // Runs a modal open panel for one file; none when the user cancelled.
    virtual std::optional<std::string> runModal(const std::vector<std::string>& allowedFileTypes) = 0;
};

// The window system's services beside the controls, all used on the main thread.
struct Desktop {
    AlertPresenter& alerts;
    Application& application;
    Workspace& workspace;
    OpenPanel& openPanel;
};

}  // namespace tomely
