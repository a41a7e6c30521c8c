#include "InstallDialogs.h"

#include <mutex>

#include "common/MainThreadCalls.h"

namespace {

template <typename Result, typename... Args>
std::function<Result(Args...)> OnMainThread(std::function<Result(Args...)> show) {
    if (!show) return show;
    return [show](Args... args) { return scup::ResultOnMainThread([&] { return show(args...); }); };
}

std::mutex& DialogsMutex() {
    static std::mutex mutex;
    return mutex;
}

SInstallDialogs& Dialogs() {
    static SInstallDialogs dialogs;
    return dialogs;
}

}  // namespace

SInstallDialogs OpenedOnMainThread(SInstallDialogs dialogs) {
    dialogs.confirmTransfer = OnMainThread(std::move(dialogs.confirmTransfer));
    dialogs.retryConnection = OnMainThread(std::move(dialogs.retryConnection));
    dialogs.runTransfer = OnMainThread(std::move(dialogs.runTransfer));
    dialogs.transferOnMainThread = true;
    return dialogs;
}

void SetInstallDialogs(SInstallDialogs dialogs) {
    std::lock_guard lock(DialogsMutex());
    Dialogs() = std::move(dialogs);
}

SInstallDialogs InstallDialogs() {
    std::lock_guard lock(DialogsMutex());
    return Dialogs();
}
