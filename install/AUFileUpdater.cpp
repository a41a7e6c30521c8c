#include "AUFileUpdater.h"

#include <shlobj.h>

#include "DownloadName.h"
#include "common/AUXMLParser.h"
#include "common/Format.h"
#include "common/Handles.h"
#include "common/LangResources.h"
#include "common/Text.h"
#include "common/Trace.h"
#include "local/AULocalData.h"
#include "res/install_ids.h"
#include "server/AUServerData.h"

using scup::AUTrace;
using scup::FormatText;

namespace {

// Downloads are written under a name of this prefix and get their own name once complete.
constexpr wchar_t kPartialPrefix[] = L"dl";

bool EqualsIgnoringCase(const std::wstring& left, const wchar_t* right) {
    return CompareStringOrdinal(left.c_str(), -1, right, -1, TRUE) == CSTR_EQUAL;
}

bool IsCancelRequested() {
    scup::UniqueHandle cancel(OpenEventW(SYNCHRONIZE, FALSE, L"CANCEL_EVENT"));
    return cancel && WaitForSingleObject(cancel.get(), 0) == WAIT_OBJECT_0;
}

std::wstring Trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(L" \t\r\n") - first + 1);
}

// 0 applications, 1 other firmware, 2 the main firmware.
int InstallGroup(const std::wstring& code) {
    if (!scup::StartsWith(code, kFirmwarePrefix)) return 0;
    return scup::StartsWith(code, kMainFirmwareId) ? 2 : 1;
}

}  // namespace

void CAUFileUpdater::SInstallLists::Append(const SInstallLists& other) {
    paths.insert(paths.end(), other.paths.begin(), other.paths.end());
    installNames.insert(installNames.end(), other.installNames.begin(), other.installNames.end());
    items.insert(items.end(), other.items.begin(), other.items.end());
}

int CAUFileUpdater::Initialize() {
    scup::TraceScope scope(L"CAUFileUpdater::Initialize()");
    if (!m_pManager) {
        AUTrace(L"Manager not available.");
        return 1;
    }
    m_pServerData = m_pManager->pServerData;
    if (!m_pServerData) {
        AUTrace(L"Server Data not available.");
        return 1;
    }
    m_pLocalData = m_pManager->pLocalData;
    if (!m_pLocalData) {
        AUTrace(L"Local Data not available.");
        return 1;
    }
    if (!m_pUpdaterDialog) {
        AUTrace(L"UI not available");
        return 1;
    }
    return 0;
}

LANGID CAUFileUpdater::Language() const { return m_pManager ? m_pManager->nLanguage : 1033; }

void CAUFileUpdater::SetViewReady(int ready) {
    if (m_pUpdaterDialog) m_pUpdaterDialog->SetReady(ready);
}

int CAUFileUpdater::ShowMessage(UINT baseTextId, UINT icon, const std::wstring& argument) const {
    // The texts name their argument with "%s" (some twice); nothing else in them is a conversion.
    const std::wstring text =
        scup::ReplaceEvery(scup::LoadLangString(baseTextId, Language()), L"%s", argument);
    const UINT style = scup::LangMessageBoxStyle(MB_OK | icon | scup::kUpdateFlowMessageBoxFlags, Language());
    return scup::ShowMessageBox(nullptr, text, scup::AppTitle(Language()), style);
}

bool CAUFileUpdater::EnsureDownloadFolder() const {
    const std::wstring& folder = m_pManager->strDownloadFolder;
    if (folder.empty()) return false;
    if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const int rc = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return rc == ERROR_SUCCESS || rc == ERROR_ALREADY_EXISTS;
}

int CAUFileUpdater::DownloadFile(const std::wstring& url, std::wstring& localPath,
                                 const DownloadProgress& progress) {
    const std::wstring name = scup::SafeDownloadName(url);
    if (name.empty()) {
        AUTrace(L"Failed: the address \"%s\" gives no usable file name; it is not downloaded.", url.c_str());
        return 1;
    }
    const std::wstring& folder = m_pManager->strDownloadFolder;
    localPath = FormatText(L"%s\\%s", folder.c_str(), name.c_str());
    wchar_t partial[MAX_PATH] = {};
    if (!GetTempFileNameW(folder.c_str(), kPartialPrefix, 0, partial)) {
        AUTrace(L"Failed: no file could be made in %s (error %lu).", folder.c_str(), GetLastError());
        return 1;
    }
    int rc = m_pServerData->Download(url, partial, progress);
    if (rc == 0 && !MoveFileExW(partial, localPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        AUTrace(L"Failed: the download could not be named %s (error %lu).", localPath.c_str(),
                GetLastError());
        rc = 1;
    }
    if (rc != 0) DeleteFileW(partial);
    return rc;
}

int CAUFileUpdater::GetUpdates(const std::wstring& printer, RefinedList& updates, IUpdateListView* view) {
    scup::TraceScope scope(L"CAUFileUpdater::GetUpdates()");
    m_pUpdaterDialog = view;
    if (Initialize() != 0) return 1;
    EnsureDownloadFolder();
    view->ShowProgress(ProgressMode::Checking);
    SetViewReady(0);

    int result = 0;
    AUTrace(L"Printer count in Update List : %d", static_cast<int>(updates.size()));
    auto found = updates.find(printer);
    if (found != updates.end()) {
        ComponentList& entries = found->second;
        AUTrace(L"Firmware count for printer : %s is %d", printer.c_str(), static_cast<int>(entries.size()));
        for (auto it = entries.begin(); it != entries.end();) {
            SAUExtFirmInfo& entry = it->second;
            // The placeholder of refinement stands for nothing offered.
            if (entry.strId.empty()) {
                ++it;
                continue;
            }
            SAUFileUpdateInfo info;
            const int rc = m_pServerData->DoFileUpdateAction(entry, info);
            if (rc == 6) {
                it = entries.erase(it);
                result = 0;
                continue;
            }
            if (rc != 0) {
                entries.erase(it);
                result = rc;
                break;
            }
            if (info.nVersionCheck != 0) {
                AUTrace(L"Removing Firmware : %s", it->first.c_str());
                it = entries.erase(it);
                continue;
            }
            std::wstring localPath;
            const int downloaded = DownloadFile(info.strPath, localPath, nullptr);
            if (downloaded != 0) {
                entries.erase(it);
                result = downloaded;
                break;
            }
            entry.strFilePath = localPath;
            entry.strURL = info.strPath;
            ++it;
        }
    }

    view->ShowProgress(ProgressMode::Hidden);
    if (result == 0) view->SetUpdates(updates);
    SetViewReady(1);
    return result;
}

std::wstring CAUFileUpdater::GetDownloadURL(const SAUExtFirmInfo& entry) {
    scup::TraceScope scope(L"CAUFileUpdater::GetDownloadURL()");
    std::wstring result;
    if (!m_pManager || !m_pManager->makeTempFolder || !m_pManager->unzip) return result;
    const std::wstring folder = m_pManager->makeTempFolder();
    if (folder.empty()) return result;
    std::vector<std::wstring> files;
    m_pManager->unzip(entry.strFilePath, files, folder);
    for (const std::wstring& name : files) {
        if (!EqualsIgnoringCase(name, L"data.xml") && !EqualsIgnoringCase(name, L"data_ENG.xml")) continue;
        CAUXMLParser document;
        scup::ComPtr<IXMLDOMNode> node;
        std::wstring type;
        if (document.Load(FormatText(L"%s\\%s", folder.c_str(), name.c_str())) == 0 &&
            CAUXMLParser::SelectFirstNode(document, L"ScriboUpdater/Type", node) == 0 &&
            document.GetNodeValue(node.get(), type) == 0) {
            type = Trimmed(type);
            if (!type.empty() && entry.strURL.size() >= 3)
                result = entry.strURL.substr(0, entry.strURL.size() - 3) + type;
        }
        break;
    }
    if (m_pManager->removeFolder) m_pManager->removeFolder(folder);
    return result;
}

int CAUFileUpdater::DownloadTickedPackages(const ComponentList& entries, IUpdateListView* view,
                                           SInstallLists& lists) {
    m_pUpdaterDialog = view;
    if (Initialize() != 0) return 1;
    return DownloadTicked(entries, lists);
}

int CAUFileUpdater::DownloadTicked(const ComponentList& entries, SInstallLists& lists) {
    const std::vector<SAUTickedRow> rows = m_pUpdaterDialog->GetTickedRows();
    EnsureDownloadFolder();
    SInstallLists groups[3];
    int failed = 0;
    for (const auto& [key, entry] : entries) {
        if (IsCancelRequested()) {
            AUTrace(L"Firmware update cancelled by user.");
            return 0;
        }
        const SAUTickedRow* ticked = nullptr;
        for (const SAUTickedRow& row : rows)
            if (row.record.info.nSequence == entry.nSequence) {
                ticked = &row;
                break;
            }
        if (!ticked || entry.strId.empty()) continue;

        const std::wstring url = GetDownloadURL(entry);
        m_pUpdaterDialog->SetProgressItem(ticked->record.strTitle);
        IUpdateListView* view = m_pUpdaterDialog;
        std::wstring localPath;
        const int rc =
            DownloadFile(url, localPath, [view](int percent) { view->SetProgressPercent(percent); });
        // A cancel or a refused proxy ends the run; a download that failed leaves out its own
        // update only, and the others still go ahead.
        if (rc == 3 || rc == 7) return rc;
        if (rc != 0) {
            ShowMessage(IDS_MSG_DOWNLOAD_FAILED, 0);
            failed = rc;
            continue;
        }
        SInstallLists& group = groups[InstallGroup(entry.strId)];
        group.paths.push_back(localPath);
        group.installNames.push_back(FormatText(L"%s_%s", entry.strId.c_str(), entry.strSpec.c_str()));
        group.items.push_back(ticked->record);
    }
    for (const SInstallLists& group : groups) lists.Append(group);
    return failed;
}

void CAUFileUpdater::EndInstallRunScreens() {
    m_pUpdaterDialog->ShowProgress(ProgressMode::Hidden);
    SetViewReady(1);
    m_pUpdaterDialog->ShowView(true);
}

int CAUFileUpdater::InstallUpdates(const RefinedList* updates, const std::wstring& printer,
                                   IUpdateListView* view) {
    scup::TraceScope scope(L"CAUFileUpdater::InstallUpdates()");
    m_pUpdaterDialog = view;
    if (Initialize() != 0) return 1;
    scup::UniqueHandle cancelEvent(CreateEventW(nullptr, FALSE, FALSE, L"CANCEL_EVENT"));
    if (!updates) return 1;
    auto found = updates->find(printer);
    if (found == updates->end()) return 1;

    view->ShowView(false);
    view->ShowProgress(ProgressMode::Installing);
    SetViewReady(0);

    SInstallLists lists;
    const int downloaded = DownloadTicked(found->second, lists);
    const bool runEnded = downloaded == 3 || downloaded == 7;
    if (runEnded || (downloaded != 0 && lists.Empty())) {
        EndInstallRunScreens();
        return downloaded;
    }
    view->ShowProgress(ProgressMode::Hidden);

    // Nothing ticked is nothing done: the offer stays as it was, with nothing to fetch again.
    if (lists.Empty()) {
        EndInstallRunScreens();
        return kNothingDone;
    }
    const bool firmwareView = view->IsFirmwareView();
    int result = 0;
    if (firmwareView)
        result = InstallFirmware(printer, lists);
    else
        InstallApplications(lists);
    m_pLocalData->CollectPrinterEnvironment(printer, firmwareView || m_pManager->bEditorMode);
    EndInstallRunScreens();
    return result != 0 ? result : downloaded;
}
