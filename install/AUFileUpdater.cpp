#include "AUFileUpdater.h"

#include <shlobj.h>

#include <algorithm>
#include <cwchar>

#include "BusyView.h"
#include "DottedVersion.h"
#include "DownloadName.h"
#include "PublisherCheck.h"
#include "TemporaryFolder.h"
#include "common/AUXMLParser.h"
#include "common/Format.h"
#include "common/Handles.h"
#include "common/LangResources.h"
#include "common/ProgramEvents.h"
#include "common/Text.h"
#include "common/Trace.h"
#include "local/AULocalData.h"
#include "res/install_ids.h"
#include "res/resource_ids.h"
#include "server/AUServerData.h"

using scup::AUTrace;
using scup::FormatText;

namespace {

// A description package holds a few texts and a thumbnail; where no signature bounds it, this does.
constexpr unsigned long long kUnverifiedDescriptionLimit = 4ull << 20;

// The printer model a firmware package's statement names; the PC's packages name none.
std::wstring PackageModel(const SAUExtFirmInfo& entry) {
    return entry.strCategory == kFirmwareCategory ? entry.strName : std::wstring();
}

bool EqualsIgnoringCase(const std::wstring& left, const wchar_t* right) {
    return CompareStringOrdinal(left.c_str(), -1, right, -1, TRUE) == CSTR_EQUAL;
}

std::wstring DownloadFailureReason(ServerResult result) {
    switch (result) {
        case ServerResult::NotTrusted:
            return L"the server's certificate was refused";
        case ServerResult::TooLong:
            return L"the file is longer than its description gives";
        case ServerResult::DiskFull:
            return L"not enough disk space in the download folder";
        case ServerResult::RedirectRefused:
            return L"the server sent the download on to an address that is not secure (http)";
        case ServerResult::SignInRequired:
            return L"this network asks you to sign in first";
        default:
            return L"the file did not arrive whole (the trace says why)";
    }
}

// The message of its own that a failed download gives at once; 0 for those that the run's one
// "download failed" message covers. The network is not blamed for a full disk or a refused redirect.
UINT OwnDownloadMessage(ServerResult result) {
    switch (result) {
        case ServerResult::DiskFull:
            return IDS_MSG_DISK_FULL;
        case ServerResult::RedirectRefused:
            return IDS_MSG_REDIRECT_REFUSED;
        case ServerResult::SignInRequired:
            return IDS_MSG_SIGN_IN_FIRST;
        default:
            return 0;
    }
}

bool IsInstallerKind(const std::wstring& kind) {
    return EqualsIgnoringCase(kind, L"exe") || EqualsIgnoringCase(kind, L"msi");
}

// An installer that passed its statement must also carry the publisher's Authenticode signature.
void RefuseUnlessPublisherSigned(SFetchResult& fetched, const std::vector<std::wstring>& publishers) {
    const SPublisherCheck publisher = CheckPublisher(fetched.localPath, publishers);
    if (publisher.Passed()) {
        AUTrace(L"Authenticode signer of %s : %s", fetched.localPath.c_str(), publisher.signer.c_str());
        return;
    }
    DeleteFileW(fetched.localPath.c_str());
    fetched.server = ServerResult::NotVerified;
    fetched.failure = VerifyFailure::NotPublisherSigned;
    fetched.detail = publisher.detail;
    fetched.localPath.clear();
}

// Where no signature bounds a package, the size its description shows ("640 KB", "12.5 MB") does,
// with room for the rounding of that text; a size it does not show leaves a generous bound.
unsigned long long UnverifiedPackageLimit(const std::wstring& size) {
    constexpr unsigned long long kUnknown = 4ull << 30;
    wchar_t* end = nullptr;
    const double value = std::wcstod(size.c_str(), &end);
    if (end == size.c_str() || value <= 0) return kUnknown;
    const std::wstring unit = scup::TrimBlanks(end);
    double bytes = value;
    if (EqualsIgnoringCase(unit, L"KB"))
        bytes *= 1024.0;
    else if (EqualsIgnoringCase(unit, L"MB"))
        bytes *= 1024.0 * 1024.0;
    else if (EqualsIgnoringCase(unit, L"GB"))
        bytes *= 1024.0 * 1024.0 * 1024.0;
    else if (!unit.empty())
        return kUnknown;
    return static_cast<unsigned long long>(bytes * 1.1) + (1ull << 20);
}

// What a description names where its package's code allows another kind of file.
std::wstring KindDetail(const std::wstring& named, const std::wstring& allowed) {
    return FormatText(L"\"%s\" where \"%s\" is allowed", named.c_str(), allowed.c_str());
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
    m_policy = LoadTrustPolicy();
    if (!m_pUpdaterDialog) {
        AUTrace(L"UI not available");
        return 1;
    }
    return 0;
}

LANGID CAUFileUpdater::Language() const { return m_pManager ? m_pManager->nLanguage : 1033; }

int CAUFileUpdater::ShowMessage(UINT baseTextId, UINT icon, const std::wstring& argument) const {
    // The texts name their argument with "%s" (some twice); nothing else in them is a conversion.
    const std::wstring text =
        scup::ReplaceEvery(scup::LoadLangString(baseTextId, Language()), L"%s", argument);
    return scup::ShowLangText(nullptr, text, Language(), MB_OK | icon);
}

bool CAUFileUpdater::EnsureDownloadFolder() const {
    const std::wstring& folder = m_pManager->strDownloadFolder;
    if (folder.empty()) return false;
    if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const int rc = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return rc == ERROR_SUCCESS || rc == ERROR_ALREADY_EXISTS;
}

std::wstring CAUFileUpdater::EntryFolder(const SAUExtFirmInfo& entry) const {
    const std::wstring name =
        scup::SafeDownloadName(FormatText(L"%s_%s", entry.strId.c_str(), entry.strSpec.c_str()));
    if (name.empty()) return {};
    const std::wstring folder = m_pManager->strDownloadFolder + L"\\" + name;
    if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return folder;
    const int rc = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return rc == ERROR_SUCCESS || rc == ERROR_ALREADY_EXISTS ? folder : std::wstring();
}

void CAUFileUpdater::Refuse(const SAUExtFirmInfo& entry, const std::wstring& title, VerifyFailure failure,
                            const std::wstring& reason) {
    AUTrace(L"Failed: %s %s is refused: %s.", entry.strId.c_str(), entry.strSpec.c_str(), reason.c_str());
    m_refusals.push_back({entry.strId, entry.strSpec, title, failure, reason});
}

bool CAUFileUpdater::MayReplace(const SAUExtFirmInfo& entry, const std::wstring& offered,
                                const std::wstring& replaces, const STrustPolicy& policy) {
    if (entry.nNewInstall) return true;
    const std::wstring& installed = entry.strInstalledVersion;
    const int order = scup::CompareDottedVersions(offered, installed);
    if (order > 0) return true;
    if (!replaces.empty() && scup::CompareDottedVersions(replaces, installed) == 0) return true;
    return order != 0 && policy.MayDowngrade(entry.strId);
}

ServerResult CAUFileUpdater::FetchDescription(SAUExtFirmInfo& entry, const SAUFileUpdateInfo& info,
                                              bool& offered) {
    offered = false;
    const std::wstring folder = EntryFolder(entry);
    if (folder.empty()) return ServerResult::Failed;
    const SExpectedFile expected{entry.strId, entry.strSpec, PackageModel(entry), L"", L""};
    CVerifiedFetch fetch(*m_pServerData, m_policy);
    const SFetchResult fetched =
        fetch.Fetch(info.strPath, expected, folder, kUnverifiedDescriptionLimit, nullptr);
    if (fetched.server == ServerResult::NotVerified) {
        Refuse(entry, L"", fetched.failure, fetched.Reason());
        return ServerResult::Success;
    }
    if (!fetched.Succeeded()) return fetched.server;
    entry.strFilePath = fetched.localPath;
    entry.strURL = info.strPath;

    SDescription description;
    const bool described = ReadDescription(entry, description);
    // A package whose description names another kind of file than its code allows is never offered.
    const std::wstring kind = PackageExtension(entry);
    if (described && !EqualsIgnoringCase(description.type, kind.c_str())) {
        Refuse(entry, L"", VerifyFailure::WrongKind,
               CPackageVerifier::Reason(VerifyFailure::WrongKind, KindDetail(description.type, kind)));
        return ServerResult::Success;
    }
    // Without a signature the description's own word is all there is; with one, the description
    // must say what its statement signs.
    const std::wstring version = fetched.verified ? fetched.statement.version : description.version;
    if (fetched.verified && described && scup::CompareDottedVersions(description.version, version) != 0) {
        Refuse(entry, L"", VerifyFailure::OtherPackage,
               CPackageVerifier::Reason(VerifyFailure::OtherPackage,
                                        FormatText(L"version \"%s\" in the description, \"%s\" signed",
                                                   description.version.c_str(), version.c_str())));
        return ServerResult::Success;
    }
    if (!MayReplace(entry, version, fetched.verified ? fetched.statement.replaces : std::wstring(),
                    m_policy)) {
        AUTrace(L"Removing %s: the offered version %s is not newer than the installed %s.",
                entry.strId.c_str(), version.c_str(), entry.strInstalledVersion.c_str());
        Refuse(entry, L"", VerifyFailure::NotNewer,
               CPackageVerifier::Reason(VerifyFailure::NotNewer,
                                        FormatText(L"%s offered, %s installed", version.c_str(),
                                                   entry.strInstalledVersion.c_str())));
        return ServerResult::Success;
    }
    entry.strOfferedVersion = version;
    offered = true;
    return ServerResult::Success;
}

void CAUFileUpdater::TellRefusedAtCheck() const {
    std::wstring names;
    for (const SRefusal& refusal : m_refusals) {
        if (refusal.failure == VerifyFailure::NotNewer) continue;
        if (!names.empty()) names += L", ";
        names += refusal.id;
    }
    if (!names.empty()) ShowMessage(IDS_MSG_CHECK_NOT_SIGNED, MB_ICONWARNING, names);
}

ServerResult CAUFileUpdater::GetUpdates(const std::wstring& printer, RefinedList& updates,
                                        IUpdateListView* view) {
    scup::TraceScope scope(L"CAUFileUpdater::GetUpdates()");
    GetLocalTime(&m_askedAt);
    m_pUpdaterDialog = view;
    if (Initialize() != 0) return ServerResult::Failed;
    // What an earlier run of this updater refused is not this check's to tell.
    m_refusals.clear();
    EnsureDownloadFolder();
    view->ShowProgress(ProgressMode::Checking);
    const CBusyView busy(view);

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
            bool offered = false;
            const ServerResult downloaded = FetchDescription(entry, info, offered);
            if (downloaded != ServerResult::Success) {
                entries.erase(it);
                result = downloaded;
                break;
            }
            it = offered ? std::next(it) : entries.erase(it);
        }
    }

    view->ShowProgress(ProgressMode::Hidden);
    if (result == ServerResult::Success) view->SetUpdates(updates, m_askedAt);
    if (result == ServerResult::Success) TellRefusedAtCheck();
    return result;
}

bool CAUFileUpdater::ReadDescription(const SAUExtFirmInfo& entry, SDescription& description) {
    description = SDescription{};
    if (!m_pManager || !m_pManager->unzip) return false;
    const scup::CTemporaryFolder unpacked;
    const std::wstring& folder = unpacked.Path();
    if (folder.empty()) return false;
    std::vector<std::wstring> files;
    m_pManager->unzip(entry.strFilePath, files, folder);
    bool read = false;
    for (const std::wstring& name : files) {
        if (!EqualsIgnoringCase(name, L"data.xml") && !EqualsIgnoringCase(name, L"data_ENG.xml")) continue;
        CAUXMLParser document;
        if (document.Load(FormatText(L"%s\\%s", folder.c_str(), name.c_str())) != 0) break;
        const auto text = [&document](const wchar_t* path) {
            scup::ComPtr<IXMLDOMNode> node;
            std::wstring value;
            if (CAUXMLParser::SelectFirstNode(document, path, node) == 0)
                document.GetNodeValue(node.get(), value);
            return scup::TrimBlanks(value);
        };
        description.type = text(L"ScriboUpdater/Type");
        description.version = text(L"ScriboUpdater/Version");
        description.size = text(L"ScriboUpdater/Size");
        read = true;
        break;
    }
    return read;
}

std::wstring CAUFileUpdater::GetDownloadURL(const SAUExtFirmInfo& entry) {
    scup::TraceScope scope(L"CAUFileUpdater::GetDownloadURL()");
    SDescription description;
    if (!ReadDescription(entry, description) || description.type.empty() || entry.strURL.size() < 3)
        return {};
    return entry.strURL.substr(0, entry.strURL.size() - 3) + description.type;
}

SFetchResult CAUFileUpdater::FetchPackage(const SAUExtFirmInfo& entry, const DownloadProgress& progress) {
    SFetchResult refused;
    refused.server = ServerResult::NotVerified;
    SDescription description;
    ReadDescription(entry, description);
    // The description names the address; the package's code alone says what kind of file may run.
    const std::wstring kind = PackageExtension(entry);
    if (!EqualsIgnoringCase(description.type, kind.c_str()) || entry.strURL.size() < 3) {
        refused.failure = VerifyFailure::WrongKind;
        refused.detail = KindDetail(description.type, kind);
        return refused;
    }
    const std::wstring folder = EntryFolder(entry);
    if (folder.empty()) {
        refused.server = ServerResult::Failed;
        return refused;
    }
    const std::wstring url = entry.strURL.substr(0, entry.strURL.size() - 3) + kind;
    const SExpectedFile expected{entry.strId, entry.strSpec, PackageModel(entry), L"",
                                 entry.strOfferedVersion};
    CVerifiedFetch fetch(*m_pServerData, m_policy);
    SFetchResult fetched =
        fetch.Fetch(url, expected, folder, UnverifiedPackageLimit(description.size), progress);
    if (fetched.Succeeded() && fetched.verified && IsInstallerKind(kind))
        RefuseUnlessPublisherSigned(fetched, m_policy.publishers);
    return fetched;
}

ServerResult CAUFileUpdater::DownloadTickedPackages(const ComponentList& entries, IUpdateListView* view,
                                                    SInstallLists& lists) {
    m_pUpdaterDialog = view;
    if (Initialize() != 0) return ServerResult::Failed;
    return DownloadTicked(entries, lists);
}

ServerResult CAUFileUpdater::DownloadTicked(const ComponentList& entries, SInstallLists& lists) {
    const std::vector<SAUTickedRow> rows = m_pUpdaterDialog->GetTickedRows();
    m_failedDownloads.clear();
    m_cancelledBetweenEntries = false;
    EnsureDownloadFolder();
    SInstallLists groups[3];
    ServerResult failed = ServerResult::Success;
    for (const auto& [key, entry] : entries) {
        if (scup::IsNamedEventSet(scup::kCancelEventName)) {
            AUTrace(L"Firmware update cancelled by user.");
            m_cancelledBetweenEntries = true;
            return ServerResult::Success;
        }
        const SAUTickedRow* ticked = nullptr;
        for (const SAUTickedRow& row : rows)
            if (row.record.info.nSequence == entry.nSequence) {
                ticked = &row;
                break;
            }
        if (!ticked || entry.strId.empty()) continue;

        m_pUpdaterDialog->SetProgressItem(ticked->record.strTitle);
        IUpdateListView* view = m_pUpdaterDialog;
        const SFetchResult fetched =
            FetchPackage(entry, [view](int percent) { view->SetProgressPercent(percent); });
        const ServerResult rc = fetched.server;
        // A cancel or a refused proxy ends the run. A download that failed or was refused leaves
        // out its own update only; the other applications still go ahead, but the printer's files
        // go to it together or not at all.
        if (rc == ServerResult::Cancelled || rc == ServerResult::ProxyAuthRefused) return rc;
        if (rc == ServerResult::NotVerified) {
            Refuse(entry, ticked->record.strTitle, fetched.failure, fetched.Reason());
            ShowMessage(IDS_MSG_NOT_SIGNED, MB_ICONERROR, ticked->record.strTitle);
        } else if (rc != ServerResult::Success) {
            m_failedDownloads.push_back(
                {entry.strId, entry.strSpec, ticked->record.strTitle, DownloadFailureReason(rc), rc});
            // The full disk's message names the folder; the redirect's has no argument.
            if (const UINT told = OwnDownloadMessage(rc))
                ShowMessage(told, MB_ICONERROR, m_pManager->strDownloadFolder);
        }
        if (rc != ServerResult::Success) {
            failed = rc;
            continue;
        }
        const std::wstring& localPath = fetched.localPath;
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
    m_pUpdaterDialog->ShowView(true);
}

InstallResult CAUFileUpdater::InstallUpdates(const RefinedList* updates, const std::wstring& printer,
                                             IUpdateListView* view) {
    scup::TraceScope scope(L"CAUFileUpdater::InstallUpdates()");
    m_pUpdaterDialog = view;
    if (Initialize() != 0) return InstallResult::Failed;
    m_refusals.clear();
    scup::UniqueHandle cancelEvent(CreateEventW(nullptr, FALSE, FALSE, scup::kCancelEventName));
    if (!updates) return InstallResult::Failed;
    auto found = updates->find(printer);
    if (found == updates->end()) return InstallResult::Failed;

    // Where the PC's administrator turned the check off, the user is told before anything runs.
    if (!m_policy.signaturesRequired) ShowMessage(IDS_MSG_NOT_VERIFIED, MB_ICONWARNING);
    view->ShowView(false);
    view->ShowProgress(ProgressMode::Installing);
    const CBusyView busy(view);

    SInstallLists lists;
    const ServerResult downloaded = DownloadTicked(found->second, lists);
    const bool firmwareView = view->IsFirmwareView();
    if (downloaded == ServerResult::Cancelled) {
        EndInstallRunScreens();
        return InstallResult::NothingDone;
    }
    // Nothing of this run is installed or sent; the list is fetched again.
    if (m_cancelledBetweenEntries) {
        EndInstallRunScreens();
        return InstallResult::Done;
    }
    if (downloaded == ServerResult::ProxyAuthRefused) {
        ShowMessage(IDS_MSG_DOWNLOAD_FAILED, 0);
        EndInstallRunScreens();
        return InstallResult::ProxyAuthRefused;
    }
    if (downloaded != ServerResult::Success && (firmwareView || lists.Empty())) {
        // A printer never gets part of its set: the fonts without the main firmware, say.
        if (firmwareView && !m_failedDownloads.empty())
            ShowMessage(IDS_MSG_FIRMWARE_NOT_ALL_DOWNLOADED, MB_ICONERROR, m_failedDownloads[0].title);
        else if (std::any_of(
                     m_failedDownloads.begin(), m_failedDownloads.end(),
                     [](const SFailedDownload& failure) { return OwnDownloadMessage(failure.result) == 0; }))
            ShowMessage(IDS_MSG_DOWNLOAD_FAILED, 0);
        EndInstallRunScreens();
        return InstallResult::Failed;
    }
    view->ShowProgress(ProgressMode::Hidden);

    // Nothing ticked is nothing to do; the list is fetched again as after any run.
    if (lists.Empty()) {
        EndInstallRunScreens();
        return InstallResult::Done;
    }
    InstallResult result = InstallResult::Done;
    if (firmwareView)
        result = InstallFirmware(printer, lists);
    else if (InstallApplications(lists) == 0)
        // Told once the others are in: where one of them failed too, the summary says so.
        for (const SFailedDownload& failure : m_failedDownloads)
            ShowMessage(IDS_MSG_DOWNLOAD_FAILED_OTHERS, MB_ICONEXCLAMATION, failure.title);
    m_pLocalData->CollectPrinterEnvironment(printer, firmwareView || m_pManager->bEditorMode);
    EndInstallRunScreens();
    if (result != InstallResult::Done) return result;
    return downloaded == ServerResult::Success ? InstallResult::Done : InstallResult::PartlyDone;
}
