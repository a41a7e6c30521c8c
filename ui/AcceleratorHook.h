#pragma once
// While a dialog runs modally its own loop takes the messages: this hook translates the dialog's
// accelerators there, for as long as it lives (one dialog per thread at a time).

#include <windows.h>

#include "DialogBase.h"

namespace scup {

class CAcceleratorHook {
  public:
    CAcceleratorHook(const CDialogBase& dialog, HACCEL accelerators) {
        Current() = {&dialog, accelerators};
        m_hook = SetWindowsHookExW(WH_MSGFILTER, Filter, nullptr, GetCurrentThreadId());
    }
    ~CAcceleratorHook() {
        if (m_hook) UnhookWindowsHookEx(m_hook);
        Current() = {};
    }
    CAcceleratorHook(const CAcceleratorHook&) = delete;
    CAcceleratorHook& operator=(const CAcceleratorHook&) = delete;

  private:
    struct STarget {
        const CDialogBase* dialog = nullptr;
        HACCEL accelerators = nullptr;
    };
    static STarget& Current() {
        thread_local STarget target;
        return target;
    }
    static LRESULT CALLBACK Filter(int code, WPARAM wParam, LPARAM lParam) {
        MSG* msg = reinterpret_cast<MSG*>(lParam);
        const STarget& target = Current();
        HWND dialog = target.dialog ? target.dialog->GetSafeHwnd() : nullptr;
        if (code == MSGF_DIALOGBOX && msg && dialog && target.accelerators &&
            (msg->hwnd == dialog || IsChild(dialog, msg->hwnd)) &&
            TranslateAcceleratorW(dialog, target.accelerators, msg))
            return 1;
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK m_hook = nullptr;
};

}  // namespace scup
