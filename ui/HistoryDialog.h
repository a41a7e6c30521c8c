#pragma once
// Lists the updates the program has completed, read from the update history, for one category
// ("FIRM" printer firmware or "PCS" PC software): name, version, date, printer and language.
// A click on a column heading sorts by that column; the next click on it reverses the order.
// Opened modally by the main dialog, on the main thread.

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "LangDialog.h"

namespace scup {

class CHistoryDialog : public CLangDialog {
  public:
    // A string of the resource library by its exact identifier; nothing when the library lacks it.
    using StringSource = std::function<std::optional<std::wstring>(UINT id)>;

    CHistoryDialog(LANGID language, HWND owner = nullptr);

    void SetCategory(std::wstring category) { m_strCategory = std::move(category); }
    const std::wstring& Category() const { return m_strCategory; }

    // Locale text (strings 200 to 230) to the language's display name (strings 300 to 330). A
    // pair the library lacks a string of is left out, so that no language is shown under the
    // name of another; in a right-to-left window each name is embedded left to right.
    static std::map<std::wstring, std::wstring> BuildLanguageNames(const StringSource& strings,
                                                                   bool rightToLeft);

  protected:
    BOOL OnInitDialog() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

  private:
    static constexpr int kColumnSlots = 10;

    void InsertColumns();
    void FillRows();
    void SetCell(int row, int column, const std::wstring& text);
    std::wstring CellText(int row, int column) const;
    void SortByColumn(int column);

    std::wstring m_strCategory;
    int m_nSortDirection[kColumnSlots] = {};
    std::map<std::wstring, std::wstring> m_mapLanguageNames;
};

}  // namespace scup
