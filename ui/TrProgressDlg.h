#pragma once
// Runs a firmware transfer on a worker thread of its own and shows its progress file by file.
// The caller sets the total weight in State(), gives the work, and runs the dialog modally; it
// ends with OK once the work has returned. The work learns of a cancel, and tells its progress,
// only through Progress(). When all data has gone out (100 %) the dialog hides and the device
// progress dialog shows until the work ends.
// The dialog lives on the thread that runs the transfer (the update thread for an install, the main
// thread for packages sent from disk); the worker reaches it only through Progress(), which hands
// each change to the dialog's thread by message.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "DevProgDlg.h"
#include "LangDialog.h"
#include "install/TrProgressState.h"

namespace scup {

class CTrProgressDlg : public CLangDialog {
  public:
    using WorkFunction = std::function<void()>;

    // Starts the process-wide transfer state afresh.
    CTrProgressDlg(LANGID language, HWND parent);
    ~CTrProgressDlg() override;

    void SetWork(WorkFunction work) { m_work = std::move(work); }

    static STrProgressState& State();

    // The transfer dialog and its device dialog while they are on the screen: the worker reports
    // to the one, the power handler asks after it, the transfer hands over to the other.
    struct SShownDialogs {
        std::atomic<CTrProgressDlg*> transfer{nullptr};
        std::atomic<CDevProgDlg*> device{nullptr};
    };
    static SShownDialogs& Shown();

    // The main dialog's answers to the system: no suspend while a transfer is on the screen (it
    // would cut the transfer off in the middle), and no end of the session while the program runs.
    // The dialog procedure's result for those two messages, else nothing.
    static std::optional<INT_PTR> AnswerToTheSystem(HWND dialog, UINT message, WPARAM wParam);

    // The progress callback of the transfer, from the worker (or any) thread: percent is the share
    // of the current file sent so far. 1 to go on, 0 to stop (cancel requested, no dialog, nothing
    // to weigh against, or a percentage above 100).
    static int Progress(int percent);

    // The current file's name as shown: escape tokens turned back, cut to 32 characters, and led by
    // a left-to-right mark when the dialog's direction differs from the name's.
    static std::wstring DisplayName(const std::wstring& name, bool dialogRightToLeft, bool nameRightToLeft);
    // ((percent x share) / 100 + done) x 100 / total, truncating at each division, in 64 bits so
    // that files of any size give a steady figure.
    static std::uint64_t OverallPercentage(std::uint32_t percent, std::uint32_t share, std::uint32_t done,
                                           std::uint32_t total);

    int AnimationId() const { return m_nAnimation; }

  protected:
    BOOL OnInitDialog() override;
    // Enter does not end a transfer.
    void OnOK() override {}
    void OnCancel() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void OnDestroy() override;

  private:
    struct SProgressView {
        std::wstring name;
        std::uint64_t overall = 0;
        bool cancelEnabled = true;
        bool operator==(const SProgressView&) const = default;
    };

    int Report(int percent);
    void ShowProgress(const SProgressView& view);
    void HandOverToDevice();
    void StartWorker();
    void FinishWork();
    bool DeviceDialogVisible() const;

    HWND m_hParent;
    int m_nAnimation;
    WorkFunction m_work;
    std::thread m_worker;
    std::unique_ptr<CDevProgDlg> m_deviceDialog;
    // What the worker last had shown: a report that would change nothing sends no message.
    std::optional<SProgressView> m_lastShown;
};

}  // namespace scup
