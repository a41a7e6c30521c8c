#include "LoadReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace loadgen {

double Percentile(std::vector<double> latenciesMs, double p) {
    if (latenciesMs.empty()) return 0;
    const auto rank =
        static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(latenciesMs.size())));
    const std::size_t index = std::min(latenciesMs.size() - 1, rank == 0 ? 0 : rank - 1);
    std::nth_element(latenciesMs.begin(), latenciesMs.begin() + static_cast<long>(index), latenciesMs.end());
    return latenciesMs[index];
}

long PeakMemoryKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

void PrintReport(const LoadResult& result, const std::vector<pid_t>& watched) {
    std::printf("checks %lld\n", result.checks);
    std::printf("failed_checks %lld\n", result.failedChecks);
    std::printf("asked_again %lld\n", result.askedAgain);
    std::printf("requests %lld\n", result.requests);
    std::printf("seconds %.3f\n", result.seconds);
    std::printf("requests_per_second %.0f\n",
                result.seconds > 0 ? static_cast<double>(result.requests) / result.seconds : 0.0);
    std::printf("p50_ms %.2f\n", Percentile(result.latenciesMs, 50));
    std::printf("p99_ms %.2f\n", Percentile(result.latenciesMs, 99));
    long total = 0;
    for (const pid_t pid : watched) {
        const long kb = PeakMemoryKb(pid);
        std::printf("peak_memory_kb_pid_%d %ld\n", static_cast<int>(pid), kb);
        if (kb > 0) total += kb;
    }
    if (!watched.empty()) std::printf("peak_memory_kb %ld\n", total);
    for (const std::string& failure : result.failures) std::printf("failure %s\n", failure.c_str());
}

}  // namespace loadgen
