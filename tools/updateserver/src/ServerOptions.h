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
    // Requests answered at the same time, each on a thread of its own while its answer is made and sent.
    // Connections open between requests, and requests still arriving, hold no thread.
    int threads = 64;
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
