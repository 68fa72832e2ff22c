#include "publish/PublishOptions.h"

#include <charconv>
#include <cmath>

#include "http/UserAgent.h"

namespace tomely {

std::optional<std::uint64_t> parseRate(std::string_view text) {
    double multiplier = 1;
    if (!text.empty()) {
        switch (text.back()) {
            case 'k':
            case 'K':
                multiplier = 1024;
                text.remove_suffix(1);
                break;
            case 'm':
            case 'M':
                multiplier = 1024.0 * 1024.0;
                text.remove_suffix(1);
                break;
            default:
                break;
        }
    }
    double number = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || failure != std::errc() || end != text.data() + text.size() || !std::isfinite(number)) {
        return std::nullopt;
    }
    const double bytes = std::floor(number * multiplier);
    // Beyond a terabyte per second a cap means nothing; below a byte it would stall the upload.
    if (bytes < 1 || bytes > 1e12) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(bytes);
}

std::optional<int> parseCount(std::string_view text, int least, int most) {
    int count = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (text.empty() || failure != std::errc() || end != text.data() + text.size() || count < least || count > most) {
        return std::nullopt;
    }
    return count;
}

ParsedCommandLine parsePublishCommandLine(const std::vector<std::string>& arguments,
                                          const std::function<std::optional<std::string>(const char*)>& environment) {
    PublishOptions options;
    std::optional<std::string> email;
    std::vector<std::string> books;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        // Both "--option value" and "--option=value".
        std::string option = argument;
        std::optional<std::string> attached;
        if (const std::size_t equals = argument.find('='); argument.starts_with("--") && equals != std::string::npos) {
            option = argument.substr(0, equals);
            attached = argument.substr(equals + 1);
        }
        const auto value = [&]() -> std::optional<std::string> {
            if (attached) {
                return attached;
            }
            if (index + 1 < arguments.size()) {
                return arguments[++index];
            }
            return std::nullopt;
        };
        const auto flag = [&](bool& target) -> std::optional<UsageError> {
            if (attached) {
                return UsageError{option + " takes no value"};
            }
            target = true;
            return std::nullopt;
        };
        std::optional<UsageError> problem;
        if (option == "--help" || option == "-h") {
            return HelpRequested{};
        } else if (option == "--version") {
            return VersionRequested{};
        } else if (option == "--json") {
            problem = flag(options.json);
        } else if (option == "--dry-run") {
            problem = flag(options.dryRun);
        } else if (option == "--list") {
            problem = flag(options.listBooks);
        } else if (option == "--password-stdin") {
            problem = flag(options.passwordFromStdin);
        } else if (option == "--password") {
            return UsageError{
                "--password is not accepted: a password on the command line is visible to other "
                "users; use --password-stdin or the password the app keeps"};
        } else if (option == "--email" || option == "--replace" || option == "--new" || option == "--service" ||
                   option == "--limit-rate" || option == "--parallel" || option == "--retries") {
            const std::optional<std::string> text = value();
            if (!text) {
                return UsageError{option + " needs a value"};
            }
            if (option == "--email") {
                email = *text;
            } else if (option == "--replace") {
                options.replaceBookId = *text;
            } else if (option == "--new") {
                options.newTitle = *text;
            } else if (option == "--service") {
                options.serviceURL = *text;
            } else if (option == "--parallel") {
                const std::optional<int> count = parseCount(*text, 1, kMostPartsInFlight);
                if (!count) {
                    return UsageError{"--parallel wants a number of parts from 1 to " +
                                      std::to_string(kMostPartsInFlight) + ", not \"" + *text + "\""};
                }
                options.partsInFlight = static_cast<std::size_t>(*count);
            } else if (option == "--retries") {
                const std::optional<int> count = parseCount(*text, 0, kMostRetries);
                if (!count) {
                    return UsageError{"--retries wants a number from 0 to " + std::to_string(kMostRetries) +
                                      ", not \"" + *text + "\""};
                }
                options.retries = *count;
            } else if (const std::optional<std::uint64_t> rate = parseRate(*text)) {
                options.maxSendBytesPerSecond = *rate;
            } else {
                return UsageError{"--limit-rate wants bytes per second such as 500K or 2M, not \"" + *text + "\""};
            }
        } else if (argument.starts_with("-") && argument != "-") {
            return UsageError{"unknown option " + argument};
        } else {
            books.push_back(argument);
        }
        if (problem) {
            return *problem;
        }
    }
    if (books.size() != 1) {
        return UsageError{books.empty() ? "which book? Name one BOOK.iba"
                                        : "name one book, not " + std::to_string(books.size())};
    }
    options.bookPath = books.front();
    if (!email) {
        email = environment("TOMELY_EMAIL");
    }
    if (!email || email->empty()) {
        return UsageError{"no e-mail address: give --email or set TOMELY_EMAIL"};
    }
    options.email = *email;
    if (options.replaceBookId && options.newTitle) {
        return UsageError{"--replace and --new exclude each other"};
    }
    if (options.listBooks && (options.replaceBookId || options.newTitle || options.dryRun)) {
        return UsageError{"--list publishes nothing: it takes no --replace, --new or --dry-run"};
    }
    if (options.newTitle && options.newTitle->empty()) {
        return UsageError{"--new needs a title"};
    }
    // No book id is empty: such a --replace could match nothing on any shelf.
    if (options.replaceBookId && options.replaceBookId->empty()) {
        return UsageError{"--replace needs a book id"};
    }
    const char* serviceSource = "--service";
    if (!options.serviceURL) {
        options.serviceURL = environment("TOMELY_SERVICE_URL");
        serviceSource = "TOMELY_SERVICE_URL";
    }
    // Without a scheme the address would be taken for a path below the built-in service.
    if (options.serviceURL && !options.serviceURL->starts_with("http://") &&
        !options.serviceURL->starts_with("https://")) {
        return UsageError{std::string(serviceSource) + " wants a URL that starts with http:// or https://, such as " +
                          "https://books.example.org, not \"" + *options.serviceURL + "\""};
    }
    return options;
}

std::string publishVersionText() {
    return "tomely-publish " + applicationInfo().shortVersion + "\n";
}

std::string publishUsageText() {
    return "usage: tomely-publish [OPTIONS] BOOK.iba\n"
           "\n"
           "Publishes an iba book to the author's shelf on the Tomely service, sending only the parts\n"
           "the shelf does not hold yet.\n"
           "\n"
           "  --email ADDRESS       the author's account (default: $TOMELY_EMAIL)\n"
           "  --password-stdin      read the password from the first line of standard input; without\n"
           "                        it, the password Tomely Uploader keeps in the Secret Service for\n"
           "                        ADDRESS is used, and on a terminal it is asked for when none is kept\n"
           "  --replace BOOK_ID     replace this book of the shelf\n"
           "  --new TITLE           publish a new book with this title (refused when its slug\n"
           "                        clashes with a title on the shelf)\n"
           "                        with neither: replace the book whose uploads carry this book's GUID\n"
           "  --dry-run             sign in, list the books, choose the target and fingerprint the\n"
           "                        book, then print the parts and bytes; nothing is published\n"
           "  --json                one JSON event per line on standard output, for scripts\n"
           "  --service URL         the service (default: $TOMELY_SERVICE_URL, else the built-in one)\n"
           "  --limit-rate RATE     send at most RATE bytes per second, such as 500K or 2M\n"
           "  --parallel N          send up to N parts at once, 1 to 16 (default: 4; 1: one after another)\n"
           "  --retries N           make a call that failed for a reason that may pass (a lost\n"
           "                        connection, a time-out, 408, 429, 5xx) up to N times more,\n"
           "                        waiting 1, 2, 4, 8 s...; 0 to 10 (default: 4; 0: never)\n"
           "  --list                list the books of the shelf (id, title, and whether it was\n"
           "                        uploaded from BOOK.iba) instead of publishing\n"
           "  -h, --help            this text\n"
           "  --version             the version\n"
           "\n"
           "Exit codes:\n"
           "  0    published, or nothing to send\n"
           "  2    usage: bad arguments, no target chosen and none pre-selected, or a slug clash\n"
           "  3    sign-in refused (403)\n"
           "  4    book unreadable: not a zip, a damaged entry, no GUID, or a full disk\n"
           "  5    network failure or time-out\n"
           "  6    service error; the message carries the status (401, 429 with its Retry-After, 5xx)\n"
           "  130  interrupted: Ctrl-C cancels the upload and removes the run's files\n";
}

}  // namespace tomely
