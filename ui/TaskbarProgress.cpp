#include "TaskbarProgress.h"

#include <functional>

#include "common/Handles.h"

namespace scup {
namespace {

// {56FDF344-FD6D-11D0-958A-006097C9A090} and {EA1AFB91-9E28-4B86-90E9-9E9F8A5EEFAF}.
constexpr CLSID kTaskbarListClass = {
    0x56FDF344, 0xFD6D, 0x11D0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
constexpr IID kTaskbarList3 = {0xEA1AFB91, 0x9E28, 0x4B86, {0x90, 0xE9, 0x9E, 0x9F, 0x8A, 0x5E, 0xEF, 0xAF}};

void WithTaskbarList(HWND window, const std::function<void(ITaskbarList3&)>& use) {
    if (!window) return;
    // A thread without COM gets it for the call; one that has it keeps its own.
    ComInit com;
    ComPtr<ITaskbarList3> list;
    if (FAILED(CoCreateInstance(kTaskbarListClass, nullptr, CLSCTX_INPROC_SERVER, kTaskbarList3,
                                list.put_void())) ||
        FAILED(list->HrInit()))
        return;
    use(*list.get());
}

}  // namespace

void CTaskbarProgress::SetState(HWND window, TBPFLAG state) {
    WithTaskbarList(window, [&](ITaskbarList3& list) { list.SetProgressState(window, state); });
}

void CTaskbarProgress::SetValue(HWND window, ULONGLONG done, ULONGLONG total) {
    WithTaskbarList(window, [&](ITaskbarList3& list) { list.SetProgressValue(window, done, total); });
}

}  // namespace scup
