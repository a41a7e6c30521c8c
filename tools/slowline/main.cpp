// slowline: a TCP relay that delays every byte in each direction, as a long line does.
#include <cstdio>
#include <string>
#include <vector>

#include "Options.h"
#include "Relay.h"
#include "StopSignals.h"

int main(int argc, char** argv) {
    using namespace slowline;
    ParsedOptions parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!parsed.options) {
        std::fprintf(stderr, "slowline: %s\n%s", parsed.error.c_str(), kUsage);
        return 2;
    }
    UniqueFd stop = toolsfile::TakeStopSignals();
    if (!stop) {
        std::perror("slowline: signalfd");
        return 1;
    }

    const RelayOptions options = *parsed.options;
    Relay relay(options);
    std::string error;
    if (!relay.Listen(error)) {
        std::fprintf(stderr, "slowline: %s\n", error.c_str());
        return 1;
    }
    std::printf("slowline: listening on %s:%u -> %s:%u, %lld ms each way\n", options.listenAddress.c_str(),
                relay.Port(), options.targetHost.c_str(), options.targetPort,
                static_cast<long long>(options.delay.count()));
    std::fflush(stdout);
    const bool ran = relay.Run(stop.get(), error);
    const RelayCounts counts = relay.Counts();
    std::printf(
        "slowline: relayed %llu connections (%llu refused by the target), %llu bytes to the target, "
        "%llu to the clients\n",
        static_cast<unsigned long long>(counts.connections), static_cast<unsigned long long>(counts.refused),
        static_cast<unsigned long long>(counts.bytesToTarget),
        static_cast<unsigned long long>(counts.bytesToClient));
    if (!ran) std::fprintf(stderr, "slowline: %s\n", error.c_str());
    return ran ? 0 : 1;
}
