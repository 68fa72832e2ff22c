#include "Options.h"

#include "Names.h"
#include "UserFile.h"

namespace tomely::shelf {

namespace {

CommandLineParse failure(std::string error) {
    return {{}, std::move(error)};
}

// "HOST:PORT", the port 0 to 65535; the host may be a bracketed IPv6 address.
bool parseListen(const std::string& text, ServerOptions& server) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const auto port = parseDecimal(text.substr(colon + 1));
    if (!port || *port > 65535) {
        return false;
    }
    server.host = host;
    server.port = static_cast<int>(*port);
    return true;
}

}  // namespace

const char* usageText() {
    return "usage: tomely-shelf --data DIR [--listen HOST:PORT] [--tls-cert FILE --tls-key FILE]\n"
           "                    [--user-file FILE|-]... [--user EMAIL:PASSWORD]...\n"
           "                    [--fault-after-parts N --fault-kind KIND[,KIND]... [--fault-count N]]\n"
           "\n"
           "Serves the Tomely shelf: the uploader's API, the account pages and /shelf/.\n"
           "  --data DIR             where the database, the parts and the books are kept (created if missing)\n"
           "  --listen HOST:PORT     address to listen on (default 127.0.0.1:8750; port 0 picks a free one)\n"
           "  --tls-cert, --tls-key  PEM certificate and key: serve HTTPS instead of HTTP\n"
           "  --user-file FILE       create the accounts of FILE, one EMAIL:PASSWORD a line (blank lines and\n"
           "                         lines starting with # are skipped), or give them these passwords;\n"
           "                         \"-\" reads the lines from standard input (repeatable)\n"
           "  --user EMAIL:PASSWORD  the same for one account; other local users can read it with ps, so\n"
           "                         prefer --user-file (repeatable)\n"
           "  --fault-after-parts N  for testing clients: part uploads after the first N fail ...\n"
           "  --fault-kind KIND      ... with a 500, a 503, a dropped connection, or a stall (500, 503, drop,\n"
           "                         stall); with several, separated by commas, each failure takes the next\n"
           "  --fault-count N        ... but only the next N of them; the ones after succeed again\n";
}

CommandLineParse parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    bool haveData = false;
    bool haveFaultKind = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--help" || option == "-h") {
            line.help = true;
            return {line, {}};
        }
        if (i + 1 >= arguments.size()) {
            return failure(option.rfind("--", 0) == 0 ? option + " needs a value" : "unexpected argument " + option);
        }
        const std::string& value = arguments[++i];
        if (option == "--data") {
            line.server.dataDirectory = value;
            haveData = !value.empty();
        } else if (option == "--listen") {
            if (!parseListen(value, line.server)) {
                return failure("--listen wants HOST:PORT, not \"" + value + "\"");
            }
        } else if (option == "--tls-cert") {
            line.server.tlsCertificate = value;
        } else if (option == "--tls-key") {
            line.server.tlsKey = value;
        } else if (option == "--user") {
            auto user = parseUserEntry(value);
            if (!user) {
                return failure("--user wants EMAIL:PASSWORD with a non-empty password, not \"" + value + "\"");
            }
            line.users.push_back(std::move(*user));
        } else if (option == "--user-file") {
            line.userFiles.push_back(value);
        } else if (option == "--fault-after-parts") {
            const auto count = parseDecimal(value);
            if (!count) {
                return failure("--fault-after-parts wants a number, not \"" + value + "\"");
            }
            line.server.faults.afterParts = *count;
        } else if (option == "--fault-kind") {
            auto kinds = faultKindsFromText(value);
            if (!kinds) {
                return failure("--fault-kind wants 500, 503, drop or stall, not \"" + value + "\"");
            }
            line.server.faults.kinds = std::move(*kinds);
            haveFaultKind = true;
        } else if (option == "--fault-count") {
            const auto count = parseDecimal(value);
            if (!count) {
                return failure("--fault-count wants a number, not \"" + value + "\"");
            }
            line.server.faults.count = *count;
        } else {
            return failure("unknown option " + option);
        }
    }
    if (!haveData) {
        return failure("--data DIR is required");
    }
    if (line.server.tlsCertificate.has_value() != line.server.tlsKey.has_value()) {
        return failure("--tls-cert and --tls-key go together");
    }
    if (line.server.faults.afterParts.has_value() != haveFaultKind) {
        return failure("--fault-after-parts and --fault-kind go together");
    }
    if (line.server.faults.count && !haveFaultKind) {
        return failure("--fault-count needs --fault-after-parts and --fault-kind");
    }
    return {line, {}};
}

}  // namespace tomely::shelf
