#pragma once
// Holds one direction of the line to a bit rate, as a real serial line would: each byte takes ten
// bit times (start bit, eight data bits, stop bit).

#include <chrono>
#include <cstddef>

namespace printersim {

class LinePacer {
  public:
    using Clock = std::chrono::steady_clock;

    // baud 0: no limit.
    explicit LinePacer(unsigned baud) : baud_(baud) {}

    // The most bytes to move at once, so that the pace stays even (about 10 ms of line time).
    std::size_t PieceSize(std::size_t wanted) const;
    // Books count bytes onto the line and gives the time at which they have gone over it. With
    // queued (the bytes were already waiting when the line came free) they follow the previous
    // bytes without a gap, as a UART with a full FIFO sends them, even when this simulator was
    // scheduled late, up to kLateness; otherwise the line may have idled and they start now.
    Clock::time_point Book(std::size_t count, bool queued = false);

    static constexpr std::chrono::milliseconds kLateness{20};

  private:
    unsigned baud_;
    Clock::time_point free_{};
};

}  // namespace printersim
