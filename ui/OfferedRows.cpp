#include "OfferedRows.h"

#include "common/Text.h"
#include "common/Trace.h"

namespace scup {

SOfferedRows ReadOfferedRows(const CUnzipHolder* unzip, const RefinedList& updates,
                             const std::wstring& printer, bool firmware, LCID locale) {
    SOfferedRows offered;
    const auto entries = updates.find(printer);
    if (entries == updates.end()) return offered;
    for (const auto& [key, info] : entries->second) {
        // A refined list may hold a record that matched nothing and applies to nothing.
        if (info.strId.empty()) continue;
        if ((info.strCategory == kSoftwareCategory) == firmware) continue;
        SAUItemRecord row;
        row.info = info;
        const DescriptionRead read = ReadDescriptionPackage(unzip, info.strFilePath, locale, row);
        if (read != DescriptionRead::Read && !info.strFilePath.empty()) {
            AUTrace(L"Failed: the description of %s was refused; it is not offered.", key.c_str());
            if (offered.leftOut == DescriptionRead::Read || read < offered.leftOut) offered.leftOut = read;
            continue;
        }
        if (row.strTitle.empty()) row.strTitle = info.strName.empty() ? info.strId : info.strName;
        offered.rows.push_back(std::move(row));
    }
    return offered;
}

bool HasFirmwareEntries(const RefinedList& updates, const std::wstring& printer) {
    const auto entries = updates.find(printer);
    if (entries == updates.end()) return false;
    for (const auto& [key, info] : entries->second)
        if (info.strCategory == kFirmwareCategory && StartsWith(info.strId, kFirmwarePrefix)) return true;
    return false;
}

}  // namespace scup
