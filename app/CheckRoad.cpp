#include "CheckRoad.h"

#include <algorithm>
#include <vector>

#include "UpdateRefinement.h"
#include "common/Format.h"
#include "common/Resources.h"
#include "common/Text.h"
#include "install/AUFileUpdater.h"
#include "local/AULocalData.h"
#include "res/resource_ids.h"
#include "server/AUServerData.h"

using scup::FormatText;
using scup::StartsWith;

std::wstring LocaleText(LCID locale, LCTYPE type, size_t maxLength) {
    wchar_t buffer[16] = {};
    GetLocaleInfoW(locale, type, buffer, 16);
    std::wstring text(buffer);
    return text.substr(0, maxLength);
}

std::wstring UserCountryAbbreviation() { return LocaleText(LOCALE_USER_DEFAULT, LOCALE_SABBREVCTRYNAME, 8); }

namespace {

// The comma-separated language abbreviations queried for a locale; empty when it is not listed.
std::wstring RegionalLanguages(LCID locale) {
    for (UINT i = 0; i <= IDS_LOCALE_LAST - IDS_LOCALE_FIRST; ++i) {
        std::wstring text = scup::LoadResString(IDS_LOCALE_FIRST + i);
        if (!text.empty() && static_cast<LCID>(scup::ParseDecimal(text)) == locale)
            return scup::LoadResString(IDS_REGIONLIST_FIRST + i);
    }
    return {};
}

// A server may keep nothing under a language's wide and group keys and answer them with no usable
// document; that answer is passed over. A query that was never answered (not reached, cancelled,
// refused) leaves part of the offer unknown, and a partial offer must not pass for the whole one.
bool IsAnsweredOrUnusable(ServerResult result) {
    return result == ServerResult::Success || result == ServerResult::AnswerUnusable;
}

}  // namespace

CCheckRoad::CCheckRoad(SParts parts) : m_parts(std::move(parts)) {}

CCheckRoad::SResult CCheckRoad::Check(CAUFileUpdater& updater, IUpdateListView& view,
                                      const std::wstring& printer, bool firmwareView,
                                      bool printerData) const {
    SResult check;
    if (!m_parts.server) return check;
    check.result = QueryServerOffer(printer, firmwareView, printerData, check.serverList);
    if (check.result != ServerResult::Success) return check;
    check.queried = true;
    check.refined = Refine(printer, check.serverList);
    check.result = updater.GetUpdates(printer, check.refined, &view);
    return check;
}

RefinedList CCheckRoad::Refine(const std::wstring& printer, const ComponentList& serverList) const {
    CUpdateRefinement::Sources sources;
    CAULocalData* local = m_parts.local;
    sources.printers = [local] { return local ? local->GetPrinterMap() : PrinterMap(); };
    sources.transferPrinter = m_parts.findTransferPrinter;
    sources.isPackageInstalled = m_parts.isPackageInstalled;
    if (!sources.isPackageInstalled)
        sources.isPackageInstalled = [](const std::wstring& code) {
            return CAULocalData::IsPackageInstalled(code);
        };
    sources.userCountry = UserCountryAbbreviation;
    RefinedList refined;
    CUpdateRefinement(std::move(sources)).GetRefinedList(printer, serverList, refined);
    return refined;
}

std::wstring CCheckRoad::OfferCountry(const std::wstring& printer, bool printerData) const {
    if (printerData && m_parts.local) {
        const PrinterMap printers = m_parts.local->GetPrinterMap();
        if (const auto rows = printers.find(printer); rows != printers.end())
            for (const auto& [entryKey, info] : rows->second)
                if (info.strId == kMainFirmwareId && !info.strSpec.empty())
                    return info.strSpec.size() > 4 ? info.strSpec.substr(4) : std::wstring();
    }
    return UserCountryAbbreviation();
}

ServerResult CCheckRoad::QueryServerOffer(const std::wstring& printer, bool firmwareView, bool printerData,
                                          ComponentList& serverList) const {
    CVersionQueries queries(*m_parts.server, printer);
    const std::wstring country = OfferCountry(printer, printerData);
    ServerResult failure = ServerResult::Success;
    const std::vector<std::wstring> languages = scup::SplitList(RegionalLanguages(m_parts.locale), L',');
    if (!languages.empty()) {
        const std::wstring group = CUpdateRefinement::RegionGroup(country);
        for (const std::wstring& language : languages) {
            for (const std::wstring& key : {FormatText(L"%s_ALL", language.c_str()),
                                            FormatText(L"%s_%s", language.c_str(), group.c_str())}) {
                failure = queries.Query(key, firmwareView, serverList);
                if (!IsAnsweredOrUnusable(failure)) return failure;
            }
            failure = queries.Query(FormatText(L"%s_%s", language.c_str(), country.c_str()), firmwareView,
                                    serverList);
            if (failure != ServerResult::Success) return failure;
        }
    }
    if (!printerData || !m_parts.local) return ServerResult::Success;
    const PrinterMap printers = m_parts.local->GetPrinterMap();
    const auto rows = printers.find(printer);
    if (rows == printers.end()) return ServerResult::Success;
    std::vector<std::wstring> queried;
    for (const auto& [entryKey, info] : rows->second) {
        if (info.strSpec.empty() || !StartsWith(info.strId, kFirmwarePrefix) ||
            info.strCategory != kFirmwareCategory)
            continue;
        if (std::find(queried.begin(), queried.end(), info.strSpec) != queried.end()) continue;
        queried.push_back(info.strSpec);
        failure = queries.Query(info.strSpec, true, serverList);
        if (failure != ServerResult::Success) return failure;
    }
    return ServerResult::Success;
}
