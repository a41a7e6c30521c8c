#include "HeadlessListView.h"

#include "ui/OfferedRows.h"

CHeadlessListView::CHeadlessListView(const CUnzipHolder* unzip, std::wstring printer, LCID locale,
                                     UpdateView view)
    : m_pUnzip(unzip), m_printer(std::move(printer)), m_locale(locale), m_view(view) {}

void CHeadlessListView::SetUpdates(const RefinedList& updates, const SYSTEMTIME&) {
    m_rows = scup::ReadOfferedRows(m_pUnzip, updates, m_printer, IsFirmwareView(), m_locale).rows;
}

bool CHeadlessListView::IsTicked(const SAUItemRecord& row) const {
    if (m_tickAll) return true;
    for (const std::wstring& code : m_codes)
        if (_wcsicmp(code.c_str(), row.info.strId.c_str()) == 0) return true;
    return false;
}

std::vector<SAUTickedRow> CHeadlessListView::GetTickedRows() {
    std::vector<SAUTickedRow> ticked;
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (IsTicked(m_rows[i])) ticked.push_back({static_cast<int>(i), m_rows[i]});
    return ticked;
}
