#pragma once
// The main updater dialog in its first, plain form: the printer, the offered updates as a list,
// check and install commands. Mode 1 is the printer firmware view, mode 0 the PC software view.

#include <atomic>
#include <mutex>
#include <string>

#include "LangDialog.h"
#include "common/FirmInfo.h"
#include "common/Handles.h"

class CUpdaterDialog : public scup::CLangDialog {
public:
    CUpdaterDialog(LANGID language, std::wstring printer, LCID locale, HWND parent = nullptr);

    // Runs modally in the given view; a result above 1000 asks for the dialog in another language.
    INT_PTR Run(int mode);

    // Called from the update thread.
    void ShowProgress(int mode);
    void SetUpdates(const RefinedList& updates);
    void ClearList();
    bool HasFirmwareEntries(const std::wstring& printer) const;

    std::atomic<int> m_bIdle{1};
    std::wstring m_strPrinter;
    std::atomic<LCID> m_nLocale;
    std::atomic<int> m_bFirmwareMode{0};
    bool m_bLocalFiles = false;

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void OnDestroy() override;

private:
    void FillList();
    void UpdateControlStates();
    void Signal(const wchar_t* eventName);

    mutable std::mutex m_updatesMutex;
    RefinedList m_mapUpdates;
    int m_nProgress = 0;
};
