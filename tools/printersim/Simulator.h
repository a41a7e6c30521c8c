#pragma once
// Plays the printer on a pseudo-terminal until told to stop: reads what the program sends, at the
// line's pace, answers through the protocol, and hangs up and comes back when the profile says so.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "CommandLog.h"
#include "LinePacer.h"
#include "PortLink.h"
#include "PrinterProtocol.h"
#include "PseudoTerminal.h"
#include "SimOptions.h"
#include "StoredFiles.h"

namespace printersim {

class Simulator {
  public:
    // The simulator ends when stopFd becomes readable (a signalfd, or a pipe in tests).
    Simulator(SimOptions options, int stopFd);

    // Sets up the files, the log and the line; on failure says why.
    bool Start(std::string& error);
    // Serves the line until stopped; false when the line failed for good.
    bool Serve(std::string& error);

    const std::string& linePath() const { return line_->slavePath(); }

  private:
    using Clock = std::chrono::steady_clock;

    bool OpenLine(std::string& error);
    bool ReadFromLine(std::string& error);
    bool Send(const Reply& reply);
    bool WriteAll(std::span<const std::uint8_t> bytes);
    bool HangUpAndReturn(std::string& error);
    // Sleeps until the given time; false when a stop was asked for meanwhile.
    bool WaitUntil(Clock::time_point until);
    bool StopAsked(int timeoutMs);
    void Report(const std::string& line);

    SimOptions options_;
    int stopFd_;
    bool stopped_ = false;
    StoredFiles files_;
    PrinterProtocol protocol_;
    CommandLog log_;
    PortLink link_;
    std::optional<PseudoTerminal> line_;
    LinePacer fromProgram_;
    LinePacer toProgram_;
    bool bytesWereWaiting_ = false;
};

}  // namespace printersim
