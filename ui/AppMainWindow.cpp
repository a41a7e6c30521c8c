#include "AppMainWindow.h"

#include <mutex>

namespace scup {
namespace {

std::mutex& SourceMutex() {
    static std::mutex mutex;
    return mutex;
}
MainWindowSource& Source() {
    static MainWindowSource source;
    return source;
}

}  // namespace

void SetMainWindowSource(MainWindowSource source) {
    std::lock_guard lock(SourceMutex());
    Source() = std::move(source);
}

HWND AppMainWindow() {
    MainWindowSource source;
    {
        std::lock_guard lock(SourceMutex());
        source = Source();
    }
    HWND window = source ? source() : nullptr;
    return window && IsWindow(window) ? window : nullptr;
}

HWND TaskbarWindowFor(HWND fallback) {
    HWND main = AppMainWindow();
    return main && IsWindowVisible(main) ? main : fallback;
}

}  // namespace scup
