#pragma once
// What the simulated printer is and how it misbehaves when asked to.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace printersim {

struct PrinterProfile {
    std::uint16_t model = 0x2107;
    // Size of the records in which the printer lists its stored files (64 or 128).
    std::size_t recordSize = 128;
    // Files shorter than this may be cancelled while they are sent; 0 means never.
    std::uint32_t cancelLimit = 0x200000;
    // Data bytes the printer takes before its next status reply. With creditMin, each status grants
    // a credit drawn from creditMin to credit instead.
    std::uint32_t credit = 4096;
    std::optional<std::uint32_t> creditMin;
    // Refuses every status request and download (status byte 18 not 1, byte 8 = 2).
    bool refuse = false;
    // Stops answering once this many commands have been received (0: answers nothing).
    std::optional<std::uint32_t> muteAfter;
    // Hangs up the line once this many data bytes of a download have arrived (once per run).
    std::optional<std::uint64_t> dropAfter;
    // Refuses the download at the first status once this many data bytes of it have arrived (once
    // per run), as a printer that runs into trouble while it takes a file.
    std::optional<std::uint64_t> refuseAfter;
    // Takes every download and says it stored it, but goes on listing the files it held before, as a
    // printer whose update did not take.
    bool keepOldVersion = false;
    // Time the printer takes to store a file before its last status reply.
    std::chrono::milliseconds finishDelay{0};
    // Time the printer takes to answer the mode check.
    std::chrono::milliseconds modeDelay{0};
    // Every reply without a fixed delay above waits a random time that stays well inside the time
    // the program waits for it.
    bool varyDelays = false;
    // Seeds the varying credits and delays, so that a run can be played again.
    std::uint32_t seed = 1;
};

}  // namespace printersim
