#pragma once
// What the update thread may do to the main dialog while it fetches and installs: show the
// progress panel and what it works on, read the ticked rows, hand over a new list or clear it,
// hide the dialog while installers run. The main dialog is the real view; every call is safe
// from the update thread.

#include <windows.h>

#include <string>
#include <vector>

#include "UpdateItemRecord.h"
#include "common/FirmInfo.h"

// What the main dialog lists: the printer's firmware, or the PC's applications.
enum class UpdateView { Software = 0, Firmware = 1 };

// The progress panel over the main dialog: hidden, a moving bar while checking, or a bar with
// Cancel while downloading and installing.
enum class ProgressMode { Hidden = 0, Checking = 1, Installing = 2 };

// A ticked row: its place in the list and a copy of its record (the row keeps its own).
struct SAUTickedRow {
    int nRow = 0;
    SAUItemRecord record;
};

class IUpdateListView {
  public:
    virtual ~IUpdateListView() = default;

    // The dialog's window (for message boxes and the ready flag); null before it exists.
    virtual HWND ViewWindow() const = 0;
    virtual bool IsFirmwareView() const = 0;
    // 1 when the dialog takes commands again, 0 while the thread works.
    virtual void SetReady(int ready) = 0;

    virtual void ShowProgress(ProgressMode mode) = 0;
    virtual void SetProgressItem(const std::wstring& title) = 0;
    // 0 to 100; does nothing without a panel.
    virtual void SetProgressPercent(int percent) = 0;

    // The ticked rows in list order.
    virtual std::vector<SAUTickedRow> GetTickedRows() = 0;
    // Takes over a new list (no longer packages from disk) and rebuilds the rows from it; askedAt
    // is when the server was asked for it (a list kept from an earlier check is as old as that).
    virtual void SetUpdates(const RefinedList& updates, const SYSTEMTIME& askedAt) = 0;
    virtual void ClearList() = 0;

    // Hides the dialog while installers run and shows it again, brought to the front.
    virtual void ShowView(bool show) = 0;
};
