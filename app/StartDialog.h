#pragma once
// The first window of a normal start: into the main dialog with a printer chosen first (100) or
// straight away (101), or closing the program. Acts only while the update thread is ready.
// Made and run on the main thread; the update thread only sets its ready flag, reads its window
// handle through the application's guarded pointer and posts to the window.

#include <atomic>

#include "common/Handles.h"
#include "ui/IconButton.h"
#include "ui/LangDialog.h"

class CStartDialog : public scup::CLangDialog {
public:
    static constexpr INT_PTR kResultFirmware = 100;
    static constexpr INT_PTR kResultSoftware = 101;

    explicit CStartDialog(LANGID language, HWND parent = nullptr);

    // Written by the update thread: 0 while it works, 1 when it is ready.
    std::atomic<int> m_bIdle{1};

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void OnDestroy() override;

private:
    void UpdateControlStates();
    void RepaintBehind(int controlId);
    void Choose(INT_PTR result);

    scup::UniqueHandle m_hExitEvent;
    scup::CIconButton m_firmwareButton;
    scup::CIconButton m_softwareButton;
    scup::UniqueBitmap m_banner;
};
