#include "InstallDialogs.h"

#include <mutex>

namespace {

std::mutex& DialogsMutex() {
    static std::mutex mutex;
    return mutex;
}

SInstallDialogs& Dialogs() {
    static SInstallDialogs dialogs;
    return dialogs;
}

}  // namespace

void SetInstallDialogs(SInstallDialogs dialogs) {
    std::lock_guard lock(DialogsMutex());
    Dialogs() = std::move(dialogs);
}

SInstallDialogs InstallDialogs() {
    std::lock_guard lock(DialogsMutex());
    return Dialogs();
}
