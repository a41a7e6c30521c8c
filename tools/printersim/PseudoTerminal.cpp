#include "PseudoTerminal.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace printersim {
namespace {

bool MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

std::optional<PseudoTerminal> PseudoTerminal::Open(std::string& error) {
    PseudoTerminal pty;
    pty.master_.reset(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!pty.master_ || grantpt(pty.master()) != 0 || unlockpt(pty.master()) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return std::nullopt;
    }
    char name[128];
    if (ptsname_r(pty.master(), name, sizeof name) != 0) {
        error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        return std::nullopt;
    }
    pty.slavePath_ = name;
    pty.slaveHold_.reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!pty.slaveHold_ || !MakeRaw(pty.slaveHold_.get()) || !MakeRaw(pty.master())) {
        error = "cannot set " + pty.slavePath_ + " to raw mode: " + std::strerror(errno);
        return std::nullopt;
    }
    return pty;
}

// The slave side's input queue is the program's: the held descriptor sees it without taking from it.
std::size_t PseudoTerminal::UnreadByProgram() const {
    int waiting = 0;
    if (!slaveHold_ || ::ioctl(slaveHold_.get(), FIONREAD, &waiting) != 0) return 0;
    return static_cast<std::size_t>(waiting);
}

void PseudoTerminal::HangUp() {
    slaveHold_.reset();
    master_.reset();
}

}  // namespace printersim
