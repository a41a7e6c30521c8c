// printersim: plays a label printer of the family on a pseudo-terminal linked as a serial port.
#include <cstdio>
#include <string>
#include <vector>

#include "SimOptions.h"
#include "Simulator.h"
#include "common/StopSignals.h"

int main(int argc, char** argv) {
    using namespace printersim;
    auto parsed = ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.help) {
        std::fputs(kSimUsage, stdout);
        return 0;
    }
    if (!parsed.options) {
        std::fprintf(stderr, "printersim: %s\n%s", parsed.error.c_str(), kSimUsage);
        return 2;
    }

    // The signals arrive as readable data, so a stop is noticed at any wait and the link is
    // removed on the way out.
    UniqueFd stop = toolsfile::TakeStopSignals();
    if (!stop) {
        std::perror("printersim: signalfd");
        return 1;
    }

    Simulator simulator(std::move(*parsed.options), stop.get());
    std::string error;
    if (!simulator.Start(error) || !simulator.Serve(error)) {
        std::fprintf(stderr, "printersim: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
