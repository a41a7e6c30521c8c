#include "HeadlessListView.h"

#include "common/Trace.h"
#include "ui/DescriptionPackage.h"

CHeadlessListView::CHeadlessListView(const CUnzipHolder* unzip, std::wstring printer, LCID locale,
                                     UpdateView view)
    : m_pUnzip(unzip), m_printer(std::move(printer)), m_locale(locale), m_view(view) {}

void CHeadlessListView::SetUpdates(const RefinedList& updates, const SYSTEMTIME&) {
    m_rows.clear();
    const auto entries = updates.find(m_printer);
    if (entries == updates.end()) return;
    const bool firmware = IsFirmwareView();
    for (const auto& [key, info] : entries->second) {
        // A refined list may hold a record that matched nothing and applies to nothing.
        if (info.strId.empty()) continue;
        if ((info.strCategory == kSoftwareCategory) == firmware) continue;
        SAUItemRecord row;
        row.info = info;
        if (scup::ReadDescriptionPackage(m_pUnzip, info.strFilePath, m_locale, row) !=
                scup::DescriptionRead::Read &&
            !info.strFilePath.empty()) {
            scup::AUTrace(L"Failed: the description of %s was refused; it is not offered.", key.c_str());
            continue;
        }
        if (row.strTitle.empty()) row.strTitle = info.strName.empty() ? info.strId : info.strName;
        m_rows.push_back(std::move(row));
    }
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
