// tomely-shelf: the reference shelf service. Prints where it serves, logs one line per request
// on stdout, and stops cleanly on SIGINT or SIGTERM.
#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <thread>

#include "Options.h"
#include "ShelfServer.h"
#include "UserFile.h"

namespace {

constexpr int kUsageError = 2;

// Blocks the stop signals in every thread made from here on, so that one thread can wait for
// them with sigwait instead of running a handler at an arbitrary point.
sigset_t blockStopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tomely::shelf;
    const auto parse = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parse.error.empty()) {
        std::cerr << "tomely-shelf: " << parse.error << "\n" << usageText();
        return kUsageError;
    }
    if (parse.commandLine.help) {
        std::cout << usageText();
        return 0;
    }
    auto users = parse.commandLine.users;
    for (const auto& path : parse.commandLine.userFiles) {
        auto file = readUserFile(path);
        if (!file.error.empty()) {
            std::cerr << "tomely-shelf: " << file.error << "\n";
            return kUsageError;
        }
        users.insert(users.end(), file.users.begin(), file.users.end());
    }
    const sigset_t signals = blockStopSignals();
    try {
        ShelfServer server(parse.commandLine.server);
        for (const auto& [email, password] : users) {
            const bool created = server.shelf().setPassword(email, password);
            std::cout << "tomely-shelf: " << (created ? "created account " : "set the password of ") << email
                      << std::endl;
        }
        server.bind();
        std::cout << "tomely-shelf: serving " << server.baseUrl() << " from "
                  << parse.commandLine.server.dataDirectory.string() << std::endl;
        std::thread waiter([&server, signals] {
            int received = 0;
            sigwait(&signals, &received);
            if (received != SIGUSR1) {
                std::cout << "tomely-shelf: stopping on signal " << received << std::endl;
            }
            server.stop();
        });
        server.run();
        pthread_kill(waiter.native_handle(), SIGUSR1);
        waiter.join();
        std::cout << "tomely-shelf: stopped" << std::endl;
    } catch (const std::exception& error) {
        std::cerr << "tomely-shelf: " << error.what() << std::endl;
        return 1;
    }
    return 0;
}
