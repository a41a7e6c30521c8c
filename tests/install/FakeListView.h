#pragma once
// The main dialog as the file updater sees it, kept in memory: the ticked rows the test chose,
// and a record of everything the updater did to the view (progress modes, ready flag, items,
// lists handed over, hiding and showing).

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "install/UpdateListView.h"

namespace testing_support {

class FakeListView : public IUpdateListView {
  public:
    HWND ViewWindow() const override { return nullptr; }
    bool IsFirmwareView() const override { return firmwareView; }
    void SetReady(int ready) override {
        std::lock_guard lock(mutex_);
        readyChanges.push_back(ready);
    }
    void ShowProgress(ProgressMode mode) override {
        std::lock_guard lock(mutex_);
        progressModes.push_back(mode);
    }
    void SetProgressItem(const std::wstring& title) override {
        std::lock_guard lock(mutex_);
        progressItems.push_back(title);
    }
    void SetProgressPercent(int percent) override { lastPercent = percent; }
    std::vector<SAUTickedRow> GetTickedRows() override { return tickedRows; }
    void SetUpdates(const RefinedList& updates, const SYSTEMTIME&) override {
        std::lock_guard lock(mutex_);
        handedOver.push_back(updates);
    }
    void ClearList() override { ++clears; }
    void ShowView(bool show) override {
        std::lock_guard lock(mutex_);
        shown.push_back(show);
    }

    // Ticks a row showing the entry.
    void Tick(const SAUExtFirmInfo& entry, const std::wstring& title) {
        SAUTickedRow row;
        row.nRow = static_cast<int>(tickedRows.size());
        row.record.info = entry;
        row.record.strTitle = title;
        row.record.strVersion = L"new";
        tickedRows.push_back(row);
    }

    bool firmwareView = false;
    std::vector<SAUTickedRow> tickedRows;
    std::vector<int> readyChanges;
    std::vector<ProgressMode> progressModes;
    std::vector<std::wstring> progressItems;
    std::vector<RefinedList> handedOver;
    std::vector<bool> shown;
    std::atomic<int> lastPercent{-2};
    std::atomic<int> clears{0};

  private:
    std::mutex mutex_;
};

}  // namespace testing_support
