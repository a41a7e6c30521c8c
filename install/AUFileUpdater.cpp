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

ServerResult CAUFileUpdater::DownloadFile(const std::wstring& url, std::wstring& localPath,
                                          const DownloadProgress& progress) {
    const std::wstring name = scup::SafeDownloadName(url);
    if (name.empty()) {
        AUTrace(L"Failed: the address \"%s\" gives no usable file name; it is not downloaded.", url.c_str());
        return ServerResult::Failed;
    }
    const std::wstring& folder = m_pManager->strDownloadFolder;
    localPath = FormatText(L"%s\\%s", folder.c_str(), name.c_str());
    wchar_t partial[MAX_PATH] = {};
    if (!GetTempFileNameW(folder.c_str(), kPartialPrefix, 0, partial)) {
        AUTrace(L"Failed: no file could be made in %s (error %lu).", folder.c_str(), GetLastError());
        return ServerResult::Failed;
    }
    ServerResult rc = m_pServerData->Download(url, partial, progress);
    if (rc == ServerResult::Success && !MoveFileExW(partial, localPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        AUTrace(L"Failed: the download could not be named %s (error %lu).", localPath.c_str(),
                GetLastError());
        rc = ServerResult::Failed;
    }
    if (rc != ServerResult::Success) DeleteFileW(partial);
    return rc;
}

ServerResult CAUFileUpdater::GetUpdates(const std::wstring& printer, RefinedList& updates,
                                        IUpdateListView* view) {
    scup::TraceScope scope(L"CAUFileUpdater::GetUpdates()");
    m_pUpdaterDialog = view;
    if (Initialize() != 0) return ServerResult::Failed;
    EnsureDownloadFolder();
    view->ShowProgress(ProgressMode::Checking);
    SetViewReady(0);

    ServerResult result = ServerResult::Success;
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
            const ServerResult rc = m_pServerData->DoFileUpdateAction(entry, info);
            if (rc == ServerResult::NoFileInformation) {
                it = entries.erase(it);
                result = ServerResult::Success;
                continue;
            }
            if (rc != ServerResult::Success) {
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
            const ServerResult downloaded = DownloadFile(info.strPath, localPath, nullptr);
            if (downloaded != ServerResult::Success) {
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
    if (result == ServerResult::Success) view->SetUpdates(updates);
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

ServerResult CAUFileUpdater::DownloadTickedPackages(const ComponentList& entries, IUpdateListView* view,
                                                    SInstallLists& lists) {
    m_pUpdaterDialog = view;
    if (Initialize() != 0) return ServerResult::Failed;
    return DownloadTicked(entries, lists);
}

ServerResult CAUFileUpdater::DownloadTicked(const ComponentList& entries, SInstallLists& lists) {
    const std::vector<SAUTickedRow> rows = m_pUpdaterDialog->GetTickedRows();
    EnsureDownloadFolder();
    SInstallLists groups[3];
    ServerResult failed = ServerResult::Success;
    for (const auto& [key, entry] : entries) {
        if (IsCancelRequested()) {
            AUTrace(L"Firmware update cancelled by user.");
            return ServerResult::Success;
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
        const ServerResult rc =
            DownloadFile(url, localPath, [view](int percent) { view->SetProgressPercent(percent); });
        // A cancel or a refused proxy ends the run; a download that failed leaves out its own
        // update only, and the others still go ahead.
        if (rc == ServerResult::Cancelled || rc == ServerResult::ProxyAuthRefused) return rc;
        if (rc != ServerResult::Success) {
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

InstallResult CAUFileUpdater::InstallUpdates(const RefinedList* updates, const std::wstring& printer,
                                             IUpdateListView* view) {
    scup::TraceScope scope(L"CAUFileUpdater::InstallUpdates()");
    m_pUpdaterDialog = view;
    if (Initialize() != 0) return InstallResult::Failed;
    scup::UniqueHandle cancelEvent(CreateEventW(nullptr, FALSE, FALSE, L"CANCEL_EVENT"));
    if (!updates) return InstallResult::Failed;
    auto found = updates->find(printer);
    if (found == updates->end()) return InstallResult::Failed;

    view->ShowView(false);
    view->ShowProgress(ProgressMode::Installing);
    SetViewReady(0);

    SInstallLists lists;
    const ServerResult downloaded = DownloadTicked(found->second, lists);
    if (downloaded == ServerResult::Cancelled) {
        EndInstallRunScreens();
        return InstallResult::NothingDone;
    }
    if (downloaded == ServerResult::ProxyAuthRefused ||
        (downloaded != ServerResult::Success && lists.Empty())) {
        EndInstallRunScreens();
        return InstallResult::Failed;
    }
    view->ShowProgress(ProgressMode::Hidden);

    // Nothing ticked is nothing done: the offer stays as it was, with nothing to fetch again.
    if (lists.Empty()) {
        EndInstallRunScreens();
        return InstallResult::NothingDone;
    }
    const bool firmwareView = view->IsFirmwareView();
    InstallResult result = InstallResult::Done;
    if (firmwareView)
        result = InstallFirmware(printer, lists);
    else
        InstallApplications(lists);
    m_pLocalData->CollectPrinterEnvironment(printer, firmwareView || m_pManager->bEditorMode);
    EndInstallRunScreens();
    if (result != InstallResult::Done) return result;
    return downloaded == ServerResult::Success ? InstallResult::Done : InstallResult::PartlyDone;
}
