#pragma once
// The rows of the main dialog's update list and the records behind them: each row's item data
// points at its record, which this class owns for as long as the row stands. Part of the main
// dialog, used on its thread only.

#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "install/UpdateItemRecord.h"
#include "install/UpdateListView.h"

namespace scup {

class CUpdateRows {
  public:
    CUpdateRows() = default;
    CUpdateRows(const CUpdateRows&) = delete;
    CUpdateRows& operator=(const CUpdateRows&) = delete;

    // Sets the list up: check boxes, the row images, and the columns headed in the language.
    void Attach(HWND list, LANGID language);
    HWND List() const { return m_list; }

    // The records become the rows, sorted, the first selected and in view.
    void Fill(std::vector<SAUItemRecord> records);
    // Firmware packages from disk become the rows, in the order given, the first selected.
    void FillWithPackages(const std::vector<std::wstring>& files);
    // A new row at the end; updates of what is installed come ticked, new installations not.
    void Add(std::unique_ptr<SAUItemRecord> record);
    void Delete(int row);
    void DeleteAll();
    // Firmware first, then by title (see UpdateRowOrder).
    void Sort();
    // The first row is selected and focused, when there is one (and, with onlyWithoutSelection,
    // when no row is selected yet).
    void SelectFirst(bool onlyWithoutSelection = false);

    int Count() const;
    SAUItemRecord* RecordOf(int row) const;
    const SAUItemRecord* Selected() const;
    std::vector<SAUTickedRow> Ticked() const;
    bool AnyTicked() const;

  private:
    bool ReadsRightToLeft() const;

    HWND m_list = nullptr;
    std::vector<std::unique_ptr<SAUItemRecord>> m_records;
};

}  // namespace scup
