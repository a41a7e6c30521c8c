// The line's pacing: bytes that waited for the line follow the previous ones without a gap, even
// when the simulator itself got to them late; bytes after an idle line start when they come.

#include <gtest/gtest.h>

#include <thread>

#include "LinePacer.h"

namespace printersim {
namespace {

using Clock = LinePacer::Clock;
using namespace std::chrono_literals;

constexpr unsigned kBaud = 1000000;  // 10 microseconds a byte
constexpr auto kByteTime = 10us;

TEST(LinePacer, QueuedBytesFollowThePreviousOnesAndIdleBytesStartWhenTheyCome) {
    LinePacer queuedLine(kBaud);
    LinePacer idleLine(kBaud);
    const Clock::time_point firstQueued = queuedLine.Book(100);
    const Clock::time_point firstIdle = idleLine.Book(100);
    std::this_thread::sleep_for(5ms);

    const Clock::time_point before = Clock::now();
    const Clock::time_point queued = queuedLine.Book(1, true);
    const Clock::time_point idle = idleLine.Book(1, false);
    const Clock::time_point after = Clock::now();

    // The queued byte starts where the line came free, or at most the lateness allowance ago.
    EXPECT_GE(queued, std::max(firstQueued, before - LinePacer::kLateness) + kByteTime);
    EXPECT_LE(queued, std::max(firstQueued, after - LinePacer::kLateness) + kByteTime);
    // The idle line's byte starts no earlier than the call.
    EXPECT_GE(idle, std::max(firstIdle, before) + kByteTime);
}

TEST(LinePacer, BytesBookedBackToBackAddUpToTheLineTime) {
    LinePacer line(300);  // 33.3 ms a byte: later bookings always find the line busy
    const Clock::time_point first = line.Book(3);
    const Clock::time_point second = line.Book(3, false);
    const Clock::time_point third = line.Book(3, true);
    EXPECT_NEAR(std::chrono::duration<double>(second - first).count(), 0.1, 1e-6);
    EXPECT_NEAR(std::chrono::duration<double>(third - second).count(), 0.1, 1e-6);
}

TEST(LinePacer, AnUnlimitedLineNeverHoldsBytes) {
    LinePacer line(0);
    const Clock::time_point before = Clock::now();
    const Clock::time_point booked = line.Book(1000000, true);
    const Clock::time_point after = Clock::now();
    EXPECT_GE(booked, before);
    EXPECT_LE(booked, after);
    EXPECT_EQ(line.PieceSize(123456), 123456u);
}

}  // namespace
}  // namespace printersim
