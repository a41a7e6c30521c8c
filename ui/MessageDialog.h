#pragma once
// The status panel: a line of text, a progress bar and a second line (the current item) that the
// update thread keeps up to date while it checks, downloads and installs, mirrored on the
// task-bar button. One panel per process, made by the main dialog. Its Cancel button (hidden
// until an installation shows it) signals "CANCEL_EVENT" and leaves the panel open.
//
// The setters may be called from any thread: each acts on the window through a synchronous
// message and returns once the window has done it. They do nothing while there is no window.

#include <atomic>
#include <memory>
#include <string>

#include "LangDialog.h"
#include "common/Handles.h"
#include "common/ProgramEvents.h"

namespace scup {

class CMessageDialog : public CLangDialog {
  public:
    CMessageDialog(LANGID language, HWND parent);

    // The panel of the process; none until CreatePanel has made it. A thread that holds it keeps
    // the object alive; once DestroyPanel has run its window is gone and the setters do nothing.
    static std::shared_ptr<CMessageDialog> Panel();
    // Makes the panel (modeless, hidden, titled with the application title) unless it exists.
    static std::shared_ptr<CMessageDialog> CreatePanel(LANGID language, HWND parent);
    // On the thread that made the panel: its window goes, here and now.
    static void DestroyPanel();

    void SetItemText(int controlId, const std::wstring& text);
    void SetTitle(const std::wstring& title);
    // The bar moves without a position, here and on the task bar; calling it again changes nothing.
    void BeginIndeterminate();
    // 0 to 100 sets the bar (and leaves the moving style); -1 leaves the bar and shows an error on
    // the task bar.
    void SetProgress(int value);

    bool IsMarquee() const { return m_nMarquee.load() != 0; }

  protected:
    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

  private:
    // Sends (not posts) to the dialog's thread: the texts passed by pointer must outlive the call.
    LRESULT SendToWindow(UINT message, WPARAM wParam, LPARAM lParam) const;
    void ApplyMarquee();
    void ApplyProgress(int value);
    void LeaveMarquee();

    std::atomic<int> m_nMarquee{0};
    UniqueHandle m_hCancelEvent;
};

}  // namespace scup
