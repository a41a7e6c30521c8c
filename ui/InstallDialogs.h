#pragma once
// The dialogs that installing shows, made from this program's windows: the transfer's confirmation,
// retry and progress dialogs and the note while an installer runs.

#include "install/InstallDialogs.h"

namespace scup {

SInstallDialogs StandardInstallDialogs();

}  // namespace scup
