// loadgen: many PCs checking for updates at once against an update server or the nginx in front of it.
//
//   loadgen --catalog DIR --port N [--host ADDR] [--clients N] [--checks N] [--timeout-ms N]
//           [--watch-pid PID]... [--save-answers DIR]
//
// Prints one "name value" line per figure; exits 1 when a check failed.

#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "CheckExpectations.h"
#include "LoadReport.h"
#include "LoadRun.h"

namespace {

struct Arguments {
    loadgen::LoadOptions load;
    std::string catalog;
    std::vector<pid_t> watched;
};

const char kUsage[] =
    "usage: loadgen --catalog DIR --port N [--host ADDR] [--clients N] [--checks N] [--timeout-ms N]\n"
    "               [--watch-pid PID]... [--save-answers DIR]\n";

bool Parse(int argc, char** argv, Arguments& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) return false;
        const std::string value = argv[++i];
        if (name == "--catalog") {
            args.catalog = value;
        } else if (name == "--host") {
            args.load.host = value;
        } else if (name == "--port") {
            args.load.port = std::stoi(value);
        } else if (name == "--clients") {
            args.load.clients = std::stoi(value);
        } else if (name == "--checks") {
            args.load.checksPerClient = std::stoi(value);
        } else if (name == "--timeout-ms") {
            args.load.requestTimeout = std::chrono::milliseconds(std::stoi(value));
        } else if (name == "--watch-pid") {
            args.watched.push_back(static_cast<pid_t>(std::stoi(value)));
        } else if (name == "--save-answers") {
            args.load.answersDir = value;
        } else {
            return false;
        }
    }
    return !args.catalog.empty() && args.load.port > 0 && args.load.clients > 0;
}

// A thousand connections need more descriptors than a shell's usual soft limit of 1024.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    try {
        if (!Parse(argc, argv, args)) {
            std::cerr << kUsage;
            return 2;
        }
    } catch (const std::exception&) {
        std::cerr << kUsage;
        return 2;
    }
    std::string error;
    auto catalog = updateserver::Catalog::Load(args.catalog, error);
    if (!catalog) {
        std::cerr << "loadgen: " << error << "\n";
        return 1;
    }
    RaiseDescriptorLimit();
    try {
        const loadgen::CheckExpectations expectations(
            {std::make_shared<const updateserver::Catalog>(std::move(*catalog))});
        loadgen::LoadRun run(args.load, expectations);
        const loadgen::LoadResult result = run.Run();
        loadgen::PrintReport(result, args.watched);
        return result.failedChecks == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "loadgen: " << e.what() << "\n";
        return 1;
    }
}
