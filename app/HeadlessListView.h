#pragma once
// The main dialog's list without a window, for unattended runs: it takes the offer the file
// updater hands over, reads each entry's description package into a row as the dialog does (an
// entry whose description was refused is not offered), and gives as ticked the rows the command
// line asks for. Made and used on the main thread of an unattended run.

#include <windows.h>

#include <string>
#include <vector>

#include "install/UpdateListView.h"

struct CUnzipHolder;

class CHeadlessListView : public IUpdateListView {
  public:
    CHeadlessListView(const CUnzipHolder* unzip, std::wstring printer, LCID locale, UpdateView view);

    // Ticks every row, or the rows of the package codes given (compared without regard to case).
    void TickAll() { m_tickAll = true; }
    void TickCodes(std::vector<std::wstring> codes) { m_codes = std::move(codes); }

    // The rows of the last list handed over, in key order.
    const std::vector<SAUItemRecord>& Rows() const { return m_rows; }

    HWND ViewWindow() const override { return nullptr; }
    bool IsFirmwareView() const override { return m_view == UpdateView::Firmware; }
    void SetReady(int) override {}
    void ShowProgress(ProgressMode) override {}
    void SetProgressItem(const std::wstring&) override {}
    void SetProgressPercent(int) override {}
    std::vector<SAUTickedRow> GetTickedRows() override;
    void SetUpdates(const RefinedList& updates, const SYSTEMTIME& askedAt) override;
    void ClearList() override { m_rows.clear(); }
    void ShowView(bool) override {}

  private:
    bool IsTicked(const SAUItemRecord& row) const;

    const CUnzipHolder* m_pUnzip;
    std::wstring m_printer;
    LCID m_locale;
    UpdateView m_view;
    bool m_tickAll = false;
    std::vector<std::wstring> m_codes;
    std::vector<SAUItemRecord> m_rows;
};
