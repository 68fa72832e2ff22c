#pragma once

#include <optional>
#include <string>
#include <string_view>
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

// An application another process runs, as the workspace lists it.
struct RunningApplication {
    // None for an application that has no bundle identifier.
    std::optional<std::string> bundleIdentifier;
};

// A document an application has open: its file, or none when it was never saved.
struct OpenDocument {
    std::optional<std::string> path;
};

class Workspace {
public:
    virtual ~Workspace() = default;
    // Opens the URL in the user's default browser.
    virtual void openURL(const std::string& url) = 0;
    // The applications running now, in the workspace's order.
    [[nodiscard]] virtual std::vector<RunningApplication> runningApplications() = 0;
    // The open documents of the running application `bundleIdentifier`, in its own order, as its
    // scripting interface reports them; none when it does not run (it is never launched for this).
    [[nodiscard]] virtual std::optional<std::vector<OpenDocument>> openDocumentsOfApplication(
        std::string_view bundleIdentifier) = 0;
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
