#pragma once
// Figures of a load run, as the benchmark script reads them: one "name value" pair per line.

#include <sys/types.h>

#include <string>
#include <vector>

#include "LoadRun.h"

namespace loadgen {

// The p-th percentile (0..100) of the latencies; 0 when there are none.
double Percentile(std::vector<double> latenciesMs, double p);
// Peak resident memory (VmHWM) of a running process in KiB; -1 when it cannot be read.
long PeakMemoryKb(pid_t pid);
// Prints the figures, and the peak memory of each watched process and their sum.
void PrintReport(const LoadResult& result, const std::vector<pid_t>& watched);

}  // namespace loadgen
