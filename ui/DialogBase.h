#pragma once
// A dialog window from a template of the resource library, run modally or modelessly, with its
// messages dispatched to virtual handlers. The window belongs to the thread that made it; other
// threads may read its handle (none once the window is gone), send it messages and have a call
// run on its thread, nothing more.

#include <windows.h>

#include <atomic>
#include <functional>

namespace scup {

class CDialogBase {
public:
    CDialogBase(UINT templateId, HWND parent);
    virtual ~CDialogBase();
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    INT_PTR DoModal();
    bool CreateModeless();
    void DestroyModeless();
    void EndDialog(INT_PTR result);

    HWND GetSafeHwnd() const { return hwnd_.load(); }
    UINT TemplateId() const { return templateId_; }
    HWND Item(int id) const { return GetDlgItem(hwnd_.load(), id); }

    // Runs the call on the window's thread and waits for it (at once when called there); does
    // nothing without a window.
    void CallOnWindowThread(const std::function<void()>& call) const;

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Returns true when the command was handled.
    virtual bool OnCommand(UINT id, UINT code, HWND control);
    // Every message first; set handled to stop the default dispatch.
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual void OnDestroy() {}
    // The window is gone; the object stays until its owner deletes it.
    virtual void OnNcDestroy() {}

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    UINT templateId_;
    HWND parent_;
    std::atomic<HWND> hwnd_{nullptr};
    bool modal_ = false;
};

}  // namespace scup
