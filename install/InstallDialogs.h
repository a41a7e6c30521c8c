#pragma once
// What installing asks of the user interface: the firmware transfer's confirmation, its retry when
// no printer answers and its progress dialog, and the note shown while an installer runs. The user
// interface supplies them (the application at its start, tests in their set-up). Until then nothing
// is shown: a transfer is not confirmed and so never starts, and an installer is waited for
// without a note.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "TransferProgress.h"

struct SInstallDialogs {
    // The application's main window, when there is one: it owns the transfer's dialogs.
    std::function<HWND()> mainWindow;
    // True on OK in the confirmation before a transfer.
    std::function<bool(LANGID language, HWND owner)> confirmTransfer;
    // True on Retry in the message that no printer answers.
    std::function<bool(LANGID language, HWND owner)> retryConnection;
    // Runs the work on a thread of its own while the progress dialog shows the share of the total
    // weight (data length) sent, and returns once the work has; false when the dialog could not be
    // shown (the work did not run).
    std::function<bool(LANGID language, HWND owner, std::uint32_t totalWeight,
                       std::function<void(const TransferProgress&)> work)>
        runTransfer;
    // Shows the note (its reading direction given) until the process ends.
    std::function<void(LANGID language, const std::wstring& note, bool rightToLeft, HANDLE process)>
        waitForInstaller;
    // The transfer's dialogs open on the main thread whichever thread asks (OpenedOnMainThread).
    bool transferOnMainThread = false;
};

// The same dialogs, the transfer's opened on the main thread whichever thread asks for them. The
// note while an installer runs stays on the thread that waits for the installer: its wait takes
// the note's messages alone, once a second, which would leave the main thread's windows unanswered.
SInstallDialogs OpenedOnMainThread(SInstallDialogs dialogs);

void SetInstallDialogs(SInstallDialogs dialogs);
SInstallDialogs InstallDialogs();
