#include "LinePacer.h"

#include <algorithm>

namespace printersim {

std::size_t LinePacer::PieceSize(std::size_t wanted) const {
    if (baud_ == 0) return wanted;
    std::size_t perTenMs = std::max<std::size_t>(1, baud_ / 10 / 100);
    return std::min(wanted, perTenMs);
}

LinePacer::Clock::time_point LinePacer::Book(std::size_t count, bool queued) {
    auto now = Clock::now();
    if (baud_ == 0) return now;
    auto lineTime =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(count * 10.0 / baud_));
    const auto start = queued ? std::max(free_, now - kLateness) : std::max(free_, now);
    free_ = start + lineTime;
    return free_;
}

}  // namespace printersim
