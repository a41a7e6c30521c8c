#include "UpdateRefinement.h"

#include <atomic>
#include <cwchar>
#include <initializer_list>
#include <vector>

#include "common/Format.h"
#include "common/Resources.h"
#include "common/Text.h"
#include "common/Trace.h"
#include "local/AULocalData.h"
#include "res/resource_ids.h"
#include "server/AUServerData.h"

using scup::AUTrace;
using scup::StartsWith;

namespace {

// Numbers every refined record of the process, first record 1.
std::atomic<int> g_recordSequence{0};

bool EndsWith(const std::wstring& text, const wchar_t* suffix) {
    const size_t length = wcslen(suffix);
    return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

std::wstring ListKey(const SAUExtFirmInfo& info) {
    return scup::FormatText(L"%s_%s", info.strId.c_str(), info.strSpec.c_str());
}

std::vector<std::wstring> SplitAt(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        fields.push_back(text.substr(start, at == std::wstring::npos ? std::wstring::npos : at - start));
        if (at == std::wstring::npos) return fields;
        start = at + 1;
    }
}

// A version field: its leading decimal digits, 0 when there are none; huge fields saturate.
unsigned long long FieldValue(const std::vector<std::wstring>& fields, size_t index) {
    if (index >= fields.size()) return 0;
    return std::wcstoull(fields[index].c_str(), nullptr, 10);
}

bool FieldEmpty(const std::vector<std::wstring>& fields, size_t index) {
    return index >= fields.size() || fields[index].empty();
}

bool IsAccepted(const SAUExtFirmInfo& info, bool firmwareView) {
    return firmwareView ? info.strCategory == kFirmwareCategory && StartsWith(info.strId, kFirmwarePrefix)
                        : info.strCategory == kSoftwareCategory && StartsWith(info.strId, L"P");
}

// The first installed entry, in key order, whose key begins with the prefix.
const SAUExtFirmInfo* FirstWithPrefix(const ComponentList& installed, const std::wstring& prefix) {
    // Keys that share a prefix stand together, from the first key not below the prefix on.
    auto it = installed.lower_bound(prefix);
    return it != installed.end() && it->first.compare(0, prefix.size(), prefix) == 0 ? &it->second : nullptr;
}

// Older editions of the label editor and the address book give way to a newer installed one.
bool IsSuperseded(const SAUExtFirmInfo& offered, const ComponentList& installed) {
    if (offered.strCategory != kSoftwareCategory) return false;
    auto anyInstalled = [&](std::initializer_list<const wchar_t*> newer) {
        for (const wchar_t* id : newer)
            if (CUpdateRefinement::HasPcsEntry(installed, id)) return true;
        return false;
    };
    const std::wstring& id = offered.strId;
    if (id == L"PP-SCEDIT50") return anyInstalled({L"PP-SCEDIT51", L"PP-SCEDIT52"});
    if (id == L"PP-SCEDIT51") return anyInstalled({L"PP-SCEDIT52"});
    if (id == L"PP-CONTACT11") return anyInstalled({L"PP-CONTACT12", L"PP-CONTACT13"});
    if (id == L"PP-CONTACT12") return anyInstalled({L"PP-CONTACT13"});
    return false;
}

SAUExtFirmInfo RecordFor(const SAUExtFirmInfo& offered, int newInstall,
                         const std::wstring& installedVersion) {
    SAUExtFirmInfo record;
    record.nSequence = ++g_recordSequence;
    record.nNewInstall = newInstall;
    record.strId = offered.strId;
    record.strName = offered.strName;
    record.strSpec = offered.strSpec;
    record.strCategory = offered.strCategory;
    record.strInstalledVersion = installedVersion;
    return record;
}

}  // namespace

CUpdateRefinement::CUpdateRefinement(Sources sources) : m_sources(std::move(sources)) {}

int CUpdateRefinement::CompareUpgraderVersions(const std::wstring& left, const std::wstring& right) {
    scup::TraceScope scope(L"CAUManager::CompareUpgraderVersions()");
    AUTrace(L"Left Side Version : %s Right Side Version : %s", left.c_str(), right.c_str());
    const std::vector<std::wstring> leftFields = SplitAt(left, L'.');
    const std::vector<std::wstring> rightFields = SplitAt(right, L'.');
    // Fields beyond the right side's last one are not looked at.
    for (size_t i = 0; !FieldEmpty(rightFields, i); ++i) {
        const unsigned long long l = FieldValue(leftFields, i);
        const unsigned long long r = FieldValue(rightFields, i);
        if (l < r) return 1;
        if (l > r) return -1;
    }
    return 0;
}

ServerResult CUpdateRefinement::QueryComponents(CAUServerData& server, const std::wstring& key,
                                                const std::wstring& printer, bool firmwareView,
                                                ComponentList& serverList) {
    ComponentList answer;
    const ServerResult rc = server.DoVersionCheck(answer, key, printer);
    if (rc != ServerResult::Success) return rc;
    TakeComponents(answer, firmwareView, serverList);
    return ServerResult::Success;
}

void CUpdateRefinement::TakeComponents(const ComponentList& answer, bool firmwareView,
                                       ComponentList& serverList) {
    for (const auto& [entryKey, info] : answer)
        if (IsAccepted(info, firmwareView)) serverList[entryKey] = info;
}

ServerResult CVersionQueries::Query(const std::wstring& key, bool firmwareView, ComponentList& serverList) {
    auto known = m_answers.find(key);
    if (known != m_answers.end()) {
        AUTrace(L"The version check for %s was answered earlier in this check; that answer is used.",
                key.c_str());
    } else {
        ComponentList answer;
        const ServerResult rc = m_server.DoVersionCheck(answer, key, m_printer);
        if (rc != ServerResult::Success) return rc;
        known = m_answers.emplace(key, std::move(answer)).first;
    }
    CUpdateRefinement::TakeComponents(known->second, firmwareView, serverList);
    return ServerResult::Success;
}

ServerResult CUpdateRefinement::QueryFirmware(CAUServerData& server, const std::wstring& key,
                                              const std::wstring& printer, ComponentList& serverList) {
    return QueryComponents(server, key, printer, true, serverList);
}

void CUpdateRefinement::GetPrinterForInitialCheck(CAULocalData* localData, std::wstring& printer,
                                                  std::wstring& locale, std::wstring& language) {
    const PrinterMap printers = localData ? localData->GetPrinterMap() : PrinterMap();
    if (localData) localData->GetDefaultSelection(printer, locale, language);
    if (!printer.empty() && !printers.count(printer) && !printers.empty()) {
        AUTrace(L"Invalid Default Printer in config. First local printer will be used.");
        printer = printers.begin()->first;
    }
    if (printer.empty() && !printers.empty()) printer = printers.begin()->first;
}

bool CUpdateRefinement::HasPcsEntry(const ComponentList& list, const std::wstring& id) {
    for (const auto& [key, info] : list)
        if (info.strCategory == kSoftwareCategory && info.strId == id) return true;
    return false;
}

std::wstring CUpdateRefinement::RegionGroup(const std::wstring& country) {
    for (const std::wstring& entry : SplitAt(scup::LoadResString(IDS_ASA_COUNTRIES), L','))
        if (!entry.empty() && entry == country) return L"ASA";
    return L"NAS";
}

const SAUExtFirmInfo* CUpdateRefinement::FindInstalledMatch(const std::wstring& key,
                                                            const SAUExtFirmInfo& offered,
                                                            const ComponentList& installed,
                                                            const std::wstring& group) const {
    auto exact = installed.find(key);
    if (exact != installed.end()) return &exact->second;
    // Firmware the printer does not report is no update of anything.
    if (StartsWith(offered.strId, kFirmwarePrefix) && offered.strCategory == kFirmwareCategory)
        return nullptr;
    // An offer for a whole region stands for every country of it: same code and language.
    const bool regionWide = EndsWith(key, L"_ALL") || (group == L"ASA" && EndsWith(key, L"_ASA")) ||
                            (group == L"NAS" && EndsWith(key, L"_NAS"));
    if (!regionWide) return nullptr;
    return FirstWithPrefix(installed, key.substr(0, key.size() - 4));
}

bool CUpdateRefinement::IsInstalled(const wchar_t* code) const {
    return m_sources.isPackageInstalled && m_sources.isPackageInstalled(code);
}

bool CUpdateRefinement::IsApplicable(const SAUExtFirmInfo& offered, bool superseded,
                                     bool hasTransferPort) const {
    const std::wstring& id = offered.strId;
    if (offered.strCategory == kFirmwareCategory && StartsWith(id, kPrinterContentPrefix))
        return hasTransferPort;
    if (offered.strCategory != kSoftwareCategory) return false;
    auto installed = [&](std::initializer_list<const wchar_t*> codes) {
        for (const wchar_t* code : codes)
            if (IsInstalled(code)) return true;
        return false;
    };
    if (id == L"PP-SCEDIT50") return installed({L"PP-SCEDIT50"}) && !superseded;
    if (id == L"PP-SCEDIT51") return installed({L"PP-SCEDIT51", L"PP-SCEDIT50"}) && !superseded;
    if (id == L"PP-SCEDIT52") return installed({L"PP-SCEDIT52", L"PP-SCEDIT51", L"PP-SCEDIT50"});
    if (StartsWith(id, L"PC-")) return installed({L"PP-SCEDIT50"});
    if (id == L"PP-CONTACT11") return installed({L"PP-CONTACT11"}) && !superseded;
    if (id == L"PP-CONTACT12") return installed({L"PP-CONTACT12", L"PP-CONTACT11"}) && !superseded;
    if (id == L"PP-CONTACT13") return installed({L"PP-CONTACT13", L"PP-CONTACT12", L"PP-CONTACT11"});
    return false;
}

int CUpdateRefinement::GetRefinedList(const std::wstring& printer, const ComponentList& serverList,
                                      RefinedList& refinedList) const {
    scup::TraceScope scope(L"CAUManager::GetRefinedList()");
    const PrinterMap printers = m_sources.printers ? m_sources.printers() : PrinterMap();
    auto found = printers.find(printer);
    const ComponentList installed = found == printers.end() ? ComponentList() : found->second;
    const bool hasTransferPort = m_sources.transferPrinter && !m_sources.transferPrinter(printer).empty();
    const std::wstring group = RegionGroup(m_sources.userCountry ? m_sources.userCountry() : std::wstring());

    ComponentList work;
    for (const auto& [key, offered] : serverList) {
        const bool superseded = IsSuperseded(offered, installed);
        const SAUExtFirmInfo* match =
            superseded ? nullptr : FindInstalledMatch(key, offered, installed, group);
        SAUExtFirmInfo record;
        if (match)
            record = RecordFor(offered, 0, match->strInstalledVersion);
        else if (IsApplicable(offered, superseded, hasTransferPort))
            record = RecordFor(offered, 1, L"0");
        else
            record.nSequence = ++g_recordSequence;
        work[ListKey(record)] = record;
    }
    refinedList[printer] = std::move(work);
    AUTrace(L"Refined List Size : %d", static_cast<int>(refinedList.size()));
    return refinedList.empty() ? 1 : 0;
}
