#pragma once
// The command line of the update server.

#include <string>
#include <string_view>

#include "FaultSwitches.h"

namespace updateserver {

struct ServerOptions {
    std::string bind = "127.0.0.1";
    int port = 8080;      // 0: any free port
    std::string catalog;  // the catalog folder
    std::string logFile;  // empty: stderr
    std::string baseUrl;  // address of the server as the PCs see it; empty: from each request's Host
    // Connections served at the same time. Each holds a thread while it stays open between requests, and
    // nginx in front keeps up to 64 idle connections per worker open: fewer threads would leave new
    // connections waiting behind idle ones for the keep-alive time-out (5 s).
    int threads = 256;
    bool control = true;  // the /_control endpoint (loopback clients only)
    bool help = false;
    Faults faults;
};

// False with a message naming the bad argument.
bool ParseServerOptions(int argc, const char* const* argv, ServerOptions& options, std::string& error);
const char* ServerUsage();

// A whole decimal number within [minimum, maximum].
bool ParseNumber(std::string_view text, long long minimum, long long maximum, long long& value);

}  // namespace updateserver
