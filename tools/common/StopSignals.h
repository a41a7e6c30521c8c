#pragma once
// SIGINT, SIGTERM and SIGHUP as readable data on a descriptor, so that a tool notices a stop at any
// wait and cleans up on the way out; SIGPIPE is ignored, a closed peer being an error to handle.

#include <signal.h>
#include <sys/signalfd.h>

#include "UniqueFd.h"

namespace toolsfile {

// Blocks the stop signals and gives the descriptor they arrive on (not open when that fails).
inline UniqueFd TakeStopSignals() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return UniqueFd(signalfd(-1, &stopSignals, SFD_CLOEXEC));
}

}  // namespace toolsfile
