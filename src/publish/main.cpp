// tomely-publish: the wizard's sync from a terminal, a script or a build server. See
// publishUsageText() and data/tomely-publish.1.
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/EventLoop.h"
#include "platform/SecretText.h"
#include "publish/BookFileCheck.h"
#include "publish/InterruptSignals.h"
#include "publish/PasswordInput.h"
#include "publish/PublishOptions.h"
#include "publish/Publisher.h"
#include "publish/RunDirectory.h"
#include "shelf/SecretServiceKeychain.h"
#include "shelf/StoredCredentials.h"
#include "support/WorkArea.h"

namespace tomely {
namespace {

std::optional<std::string> environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

int run(const std::vector<std::string>& arguments) {
    const bool json = std::find(arguments.begin(), arguments.end(), "--json") != arguments.end();
    TextOutput text(stdout, stderr, ::isatty(STDOUT_FILENO) == 1);
    JSONOutput events(stdout);
    PublishOutput& output = json ? static_cast<PublishOutput&>(events) : text;
    const auto refuse = [&output](PublishExit exit, std::string message) {
        output.failed({exit, std::move(message)});
        return static_cast<int>(exit);
    };

    ParsedCommandLine parsed = parsePublishCommandLine(arguments, environmentValue);
    if (std::holds_alternative<HelpRequested>(parsed)) {
        std::fputs(publishUsageText().c_str(), stdout);
        return 0;
    }
    if (std::holds_alternative<VersionRequested>(parsed)) {
        std::fputs(publishVersionText().c_str(), stdout);
        return 0;
    }
    if (const auto* usage = std::get_if<UsageError>(&parsed)) {
        return refuse(PublishExit::Usage, usage->message + " (see tomely-publish --help)");
    }
    PublishOptions options = std::get<PublishOptions>(std::move(parsed));
    // What this machine can tell goes first: no password is asked for and no call made in vain.
    if (const std::optional<std::string> problem = bookFileProblem(options.bookPath)) {
        return refuse(PublishExit::BookUnreadable, "cannot open " + options.bookPath + ": " + *problem);
    }
    // The HTTP layer reads the service's address from here, as the app does.
    if (options.serviceURL) {
        ::setenv("TOMELY_SERVICE_URL", options.serviceURL->c_str(), 1);
    }

    // Not dumpable from here until the sign-in has gone out.
    SecretText password;
    // Output to a reader that went away must not end the run before it has removed its files.
    std::signal(SIGPIPE, SIG_IGN);
    auto loop = std::make_shared<EventLoop>();
    MainLoop::install(loop);
    std::shared_ptr<Publisher> publisher;
    // Before any other thread starts (the Secret Service's client runs some), so that none of
    // them takes the signals. They are handled once the loop runs, when the publisher exists.
    PasswordPrompt prompt;
    routeInterruptsToMainLoop(
        [&publisher](int) {
            if (publisher) {
                publisher->cancel();
            }
        },
        [&prompt] { prompt.interrupt(); });
    if (!options.passwordFromStdin) {
        SecretServiceKeychain keychain;
        if (std::optional<std::string> kept = storedPassword(keychain, options.email)) {
            password = SecretText(std::move(*kept));
        }
    }
    // None kept, or asked for on standard input. Someone at the keyboard is asked as sudo and ssh
    // ask, without echo, and Ctrl-C there ends the run; elsewhere the first line is the password.
    const bool atTerminal = ::isatty(STDIN_FILENO) == 1;
    if (password.empty() && (options.passwordFromStdin || atTerminal)) {
        if (!atTerminal) {
            (void)readPasswordLine(STDIN_FILENO, password);
        } else if (prompt.ask(STDIN_FILENO, "Password for " + options.email + ": ", password) ==
                   PasswordPrompt::Outcome::Interrupted) {
            return refuse(PublishExit::Interrupted, "interrupted before signing in");
        }
    }
    if (password.empty()) {
        return refuse(PublishExit::Usage, options.passwordFromStdin
                                              ? "standard input held no password"
                                              : "no password kept for " + options.email +
                                                    " in the Secret Service: sign in once with the app, run this "
                                                    "on a terminal to be asked for it, or give --password-stdin");
    }

    Error failure;
    std::optional<RunDirectory> runDirectory = RunDirectory::create(&failure);
    if (!runDirectory) {
        return refuse(PublishExit::BookUnreadable,
                      "no directory to open the book in: " + failure.localizedDescription());
    }
    int exitStatus = 0;
    publisher =
        Publisher::create(std::move(options), std::move(password), WorkArea::inDirectory(runDirectory->path()), output);
    publisher->start([&](PublishExit exit) {
        exitStatus = static_cast<int>(exit);
        loop->quit();
    });
    loop->run();
    publisher.reset();
    return exitStatus;
}

}  // namespace
}  // namespace tomely

int main(int argc, char** argv) {
    return tomely::run(std::vector<std::string>(argv + 1, argv + argc));
}
