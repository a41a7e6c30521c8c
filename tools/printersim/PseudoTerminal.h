#pragma once
// A pseudo-terminal in raw mode: the simulator holds the master side, a program under test opens
// the slave side as its serial port.

#include <optional>
#include <string>

#include "common/UniqueFd.h"

namespace printersim {

using toolsfile::UniqueFd;

class PseudoTerminal {
  public:
    static std::optional<PseudoTerminal> Open(std::string& error);

    int master() const { return master_.get(); }
    const std::string& slavePath() const { return slavePath_; }
    // Bytes written to the line that the program has not read (or cleared) yet.
    std::size_t UnreadByProgram() const;

    // Hangs up the line: whoever has the slave side open sees it go dead.
    void HangUp();

  private:
    PseudoTerminal() = default;

    UniqueFd master_;
    // Kept open so that the master does not report a hang-up each time the program closes its port.
    UniqueFd slaveHold_;
    std::string slavePath_;
};

}  // namespace printersim
