#include "Options.h"

#include <charconv>

namespace slowline {

const char* const kUsage =
    "usage: slowline --target HOST:PORT [--listen ADDRESS:PORT] [--delay-ms N] [--client-nagle]\n"
    "                [--stats FILE]\n"
    "  Relays each TCP connection taken on the listening address (127.0.0.1:0, a free port, by\n"
    "  default) to the target, every byte in each direction arriving N ms (0 by default) after it was\n"
    "  sent, the connection's handshake as on a line of that delay. Prints the port it listens on,\n"
    "  and at its end (SIGTERM, SIGINT) the connections it relayed; FILE holds the counts meanwhile.\n"
    "  --client-nagle: the clients' stacks hold a small piece while an earlier small one is not yet\n"
    "  acknowledged, as Nagle's algorithm does for a sender without TCP_NODELAY on a real line.\n";

namespace {

template <typename Number>
bool ParseNumber(const std::string& text, Number& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

bool ParseEndpoint(const std::string& text, std::string& host, uint16_t& port, bool portMayBeZero) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    unsigned value = 0;
    if (!ParseNumber(text.substr(colon + 1), value) || value > 65535 || (value == 0 && !portMayBeZero))
        return false;
    host = text.substr(0, colon);
    port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    RelayOptions options;
    bool haveTarget = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            return parsed;
        }
        if (arg == "--client-nagle") {
            options.clientNagle = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            parsed.error = arg + " needs a value, or is not an option";
            return parsed;
        }
        const std::string& value = args[++i];
        if (arg == "--target") {
            if (!ParseEndpoint(value, options.targetHost, options.targetPort, false)) {
                parsed.error = "--target wants HOST:PORT, not " + value;
                return parsed;
            }
            haveTarget = true;
        } else if (arg == "--listen") {
            if (!ParseEndpoint(value, options.listenAddress, options.listenPort, true)) {
                parsed.error = "--listen wants ADDRESS:PORT, not " + value;
                return parsed;
            }
        } else if (arg == "--delay-ms") {
            unsigned ms = 0;
            if (!ParseNumber(value, ms) || ms > 60000) {
                parsed.error = "--delay-ms wants milliseconds from 0 to 60000, not " + value;
                return parsed;
            }
            options.delay = std::chrono::milliseconds(ms);
        } else if (arg == "--stats") {
            options.statsPath = value;
        } else {
            parsed.error = "unknown option " + arg;
            return parsed;
        }
    }
    if (!haveTarget) {
        parsed.error = "--target is needed";
        return parsed;
    }
    parsed.options = std::move(options);
    return parsed;
}

}  // namespace slowline
