#include "ServerOptions.h"

#include <charconv>

namespace updateserver {

const char* ServerUsage() {
    return "usage: updateserver --catalog DIR [--port N] [--bind ADDR] [--log FILE] [--base-url URL]\n"
           "                    [--threads N] [--no-control]\n"
           "                    [--delay MS] [--status CODE] [--cut-body BYTES] [--hang]\n"
           "                    [--fault-path PREFIX] [--fault-times N]\n"
           "  --catalog DIR     folder with catalog.xml and the files it names\n"
           "  --port N          port to listen on (default 8080; 0 picks a free port)\n"
           "  --bind ADDR       address to listen on (default 127.0.0.1)\n"
           "  --log FILE        append one line per request to FILE (default: stderr)\n"
           "  --base-url URL    address of this server as the PCs reach it, e.g. http://updates.example\n"
           "                    (default: taken from each request's Host header)\n"
           "  --threads N       requests answered at the same time (default 64)\n"
           "  --no-control      switch off the /_control endpoint\n"
           "fault switches (for tests):\n"
           "  --delay MS        wait before every answer\n"
           "  --status CODE     answer every request with this HTTP status\n"
           "  --cut-body BYTES  announce the full length, send only BYTES bytes and close\n"
           "  --hang            send the headers and then nothing until the client gives up\n"
           "  --fault-path P    apply the faults only to paths that start with P\n"
           "  --fault-times N   apply the faults to the next N requests only\n"
           "Stops on SIGINT or SIGTERM; SIGHUP reloads the catalog.\n";
}

bool ParseNumber(std::string_view text, long long minimum, long long maximum, long long& value) {
    long long parsed = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return false;
    if (parsed < minimum || parsed > maximum) return false;
    value = parsed;
    return true;
}

bool ParseServerOptions(int argc, const char* const* argv, ServerOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = std::string(arg) + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        const auto number = [&](long long minimum, long long maximum, long long& out) {
            std::string text;
            if (!value(text)) return false;
            if (!ParseNumber(text, minimum, maximum, out)) {
                error = std::string(arg) + ": \"" + text + "\" is not a number from " +
                        std::to_string(minimum) + " to " + std::to_string(maximum);
                return false;
            }
            return true;
        };
        long long n = 0;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--catalog") {
            if (!value(options.catalog)) return false;
        } else if (arg == "--bind") {
            if (!value(options.bind)) return false;
        } else if (arg == "--log") {
            if (!value(options.logFile)) return false;
        } else if (arg == "--base-url") {
            if (!value(options.baseUrl)) return false;
            while (!options.baseUrl.empty() && options.baseUrl.back() == '/') options.baseUrl.pop_back();
            if (options.baseUrl.rfind("http://", 0) != 0 && options.baseUrl.rfind("https://", 0) != 0) {
                error = "--base-url must start with http:// or https://";
                return false;
            }
        } else if (arg == "--port") {
            if (!number(0, 65535, n)) return false;
            options.port = static_cast<int>(n);
        } else if (arg == "--threads") {
            if (!number(1, 1024, n)) return false;
            options.threads = static_cast<int>(n);
        } else if (arg == "--no-control") {
            options.control = false;
        } else if (arg == "--delay") {
            if (!number(0, 3600000, n)) return false;
            options.faults.delayMs = static_cast<int>(n);
        } else if (arg == "--status") {
            if (!number(100, 599, n)) return false;
            options.faults.status = static_cast<int>(n);
        } else if (arg == "--cut-body") {
            if (!number(0, 1LL << 50, n)) return false;
            options.faults.cutBody = static_cast<std::size_t>(n);
        } else if (arg == "--hang") {
            options.faults.hang = true;
        } else if (arg == "--fault-path") {
            if (!value(options.faults.pathPrefix)) return false;
        } else if (arg == "--fault-times") {
            if (!number(1, 1000000000, n)) return false;
            options.faults.times = static_cast<int>(n);
        } else {
            error = "unknown argument \"" + std::string(arg) + "\"";
            return false;
        }
    }
    if (!options.help && options.catalog.empty()) {
        error = "--catalog DIR is required";
        return false;
    }
    return true;
}

}  // namespace updateserver
